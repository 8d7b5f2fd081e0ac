// What was done to a station: the visits and collections the archive keeps,
// and a visit's report. None of them opens the module.
#include "archive/archivedatabase.h"
#include "archive/visitpdf.h"
#include "archive/visitrecord.h"
#include "archive/visitreport.h"
#include "cli/commands.h"
#include "cli/filetargets.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>

namespace cli
{

namespace
{
QString tr(const char *text)
{
    return QCoreApplication::translate("talvik-cli", text);
}
} // namespace

int archiveVisits(const Invocation &invocation, ModuleConnection &, Console &console)
{
    bool number = false;
    const qint64 serial = invocation.value("--station").toLongLong(&number);
    if (!number || serial < 0 || serial > 0xFFFFFFFFLL)
        return usageError(console, tr("'archive visits' needs --station SERIAL."));
    std::unique_ptr<archive::Database> database;
    if (const int opened = openArchive(invocation, console, database); opened != Success)
        return opened;
    std::vector<archive::Visit> visits;
    const OperationResult listed = archive::listVisits(*database, quint32(serial), visits);
    if (listed.failed())
        return conclude(console, listed);
    if (invocation.has("--json")) {
        QJsonArray list;
        for (const archive::Visit &visit : visits)
            list.append(archive::visitJson(visit));
        console.out << QJsonDocument(QJsonObject{{"serial", serial}, {"visits", list}})
                           .toJson(QJsonDocument::Compact)
                    << '\n';
    } else {
        for (const archive::Visit &visit : visits)
            console.out << archive::visitLine(visit) << '\n';
    }
    console.out.flush();
    return Success;
}

int archiveReport(const Invocation &invocation, ModuleConnection &, Console &console)
{
    bool number = false;
    const qint64 visitId = invocation.value("--visit").toLongLong(&number);
    const QString fileName = invocation.value("--output");
    if (!number || fileName.isEmpty())
        return usageError(console, tr("'archive report' needs --visit ID and -o FILE.pdf."));
    if (!fileName.endsWith(".pdf", Qt::CaseInsensitive) &&
        !fileName.endsWith(".html", Qt::CaseInsensitive))
        return usageError(console, tr("'archive report' writes FILE.pdf or FILE.html, not %1.")
                                       .arg(QDir::toNativeSeparators(fileName)));
    const NodeKind target = nodeKind(fileName);
    if (target != NodeKind::Missing && target != NodeKind::RegularFile)
        return usageError(console,
                          tr("%1 is %2; 'archive report' writes a file.")
                              .arg(QDir::toNativeSeparators(fileName), nodeDescription(fileName)));
    std::unique_ptr<archive::Database> database;
    if (const int opened = openArchive(invocation, console, database); opened != Success)
        return opened;
    archive::Visit visit;
    const OperationResult loaded = archive::loadVisit(*database, visitId, visit);
    if (loaded.failed())
        return conclude(console, loaded);
    const OperationResult written = writeVisitReport(archive::visitReportHtml(visit), fileName);
    if (written.failed()) {
        const int code = conclude(console, written);
        if (!written.detail().isEmpty())
            tell(console, written.detail());
        return code;
    }
    console.out << QDir::toNativeSeparators(fileName) << '\n';
    console.out.flush();
    return Success;
}

} // namespace cli
