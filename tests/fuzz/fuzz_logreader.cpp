// Fuzz target: reading back a log's two files, and the health check of what
// was read. Input: the measurement file, then, after a NUL byte, its
// "-system" companion; without a NUL there is no companion.
//
// Whatever the files hold, the reader refuses them with a message and keeps
// nothing, or gives a log whose columns all have one value per measurement;
// a cut line is only ever the last line of a file that ends without a line
// end. The health check of any log that was read lists every item it counts,
// in its JSON too (printed for one input in four, to keep the pace).

#include "fuzzcheck.h"

#include "log/healthcheck.h"
#include "log/logreader.h"

#include <QJsonArray>

#include <cstdint>

namespace
{

bool endsWithLineEnd(const QByteArray &bytes)
{
    return bytes.endsWith('\n') || bytes.endsWith('\r');
}

void checkLog(const LogReader::Log &log, const QByteArray &measurements, bool withSystem,
              const QByteArray &system)
{
    const size_t count = log.index.size();
    FUZZ_CHECK(log.time.size() == count && log.checksumError.size() == count);
    FUZZ_CHECK(!log.columns.empty());
    for (const LogReader::Column &column : log.columns) {
        FUZZ_CHECK(column.values.size() == count);
        FUZZ_CHECK(!column.group.isEmpty());
    }
    int line = 1;
    for (const LogReader::Event &event : log.events) {
        FUZZ_CHECK(event.line > line);
        line = event.line;
    }
    FUZZ_CHECK(log.cutLines.size() <= 2);
    for (const LogReader::CutLine &cut : log.cutLines) {
        const bool inSystem = cut.fileName == log.systemFileName;
        FUZZ_CHECK(!endsWithLineEnd(inSystem ? system : measurements));
        FUZZ_CHECK(cut.text.size() <= 40);
    }
    FUZZ_CHECK(withSystem || (log.retries == -1 && log.events.empty()));
    // Without its "Retries" line a companion is read only when it was cut.
    FUZZ_CHECK(!withSystem || log.retries >= 0 ||
               (!log.cutLines.empty() && log.cutLines.back().fileName == log.systemFileName));
}

// formatted: whether to print the report as text and JSON too, which takes
// as long as reading and checking the log.
void checkReport(const LogReader::Log &log, bool formatted)
{
    const HealthCheck::Report report = HealthCheck::check(log);
    FUZZ_CHECK(report.measurements == log.measurementCount());
    FUZZ_CHECK(report.columns.size() == log.columns.size());
    for (const HealthCheck::Finding &finding : report.findings) {
        FUZZ_CHECK(finding.count > 0 && size_t(finding.count) == finding.times.size());
        FUZZ_CHECK(finding.details.isEmpty() || finding.details.size() == finding.count);
    }
    if (!formatted)
        return;
    FUZZ_CHECK(!HealthCheck::reportText(report).isEmpty());
    const QJsonArray findings = HealthCheck::reportJson(report).value("findings").toArray();
    FUZZ_CHECK(findings.size() == int(report.findings.size()));
    for (int i = 0; i < findings.size(); ++i)
        FUZZ_CHECK(findings[i].toObject().value("times").toArray().size() ==
                   report.findings[size_t(i)].count);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const int split = input.indexOf('\0');
    const QByteArray measurements = split < 0 ? input : input.left(split);
    const QByteArray system = split < 0 ? QByteArray() : input.mid(split + 1);
    const QString systemName = split < 0 ? QString() : QStringLiteral("f-system.csv");

    LogReader::Log log;
    QString error;
    if (LogReader::parseLog("f.csv", measurements, systemName, system, log, error) != 0) {
        FUZZ_CHECK(!error.isEmpty());
        FUZZ_CHECK(log.columns.empty() && log.index.empty() && log.events.empty());
        return 0;
    }
    FUZZ_CHECK(error.isEmpty());
    checkLog(log, measurements, split >= 0, system);
    // One input in four by its length, so that a fault found repeats.
    checkReport(log, size % 4 == 0);
    return 0;
}
