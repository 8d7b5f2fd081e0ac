#include "cli/commands.h"
#include "log/healthcheck.h"
#include "log/logreader.h"

#include <QJsonDocument>

namespace cli
{

namespace
{
// The file named is missing, unreadable or not a log this program wrote.
constexpr int NotALog = 4;
} // namespace

// Works on files only; the module is never opened.
int checkLog(const Invocation &invocation, ModuleConnection &, Console &console)
{
    LogReader::Log log;
    QString error;
    if (LogReader::readLog(invocation.words.first(), log, error) != 0) {
        tell(console, error);
        return NotALog;
    }
    const HealthCheck::Report report = HealthCheck::check(log);
    if (invocation.has("--json"))
        console.out
            << QJsonDocument(HealthCheck::reportJson(report)).toJson(QJsonDocument::Indented);
    else
        console.out << HealthCheck::reportText(report);
    console.out.flush();
    return report.needsLook() ? Failed : Success;
}

} // namespace cli
