#include "app/visitrecorder.h"

#include "app/stationarchive.h"
#include "app/visitreportdialog.h"
#include "archive/configurationrecord.h"
#include "core/operationresult.h"
#include "log/healthcheck.h"
#include "log/logreader.h"

#include <QAction>
#include <QInputDialog>
#include <QJsonArray>
#include <QMainWindow>
#include <QMenu>

namespace
{
qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// The values of a configuration as the archive keeps them.
QMap<QString, QString> valuesOf(const QJsonObject &settings)
{
    QMap<QString, QString> values;
    for (auto item = settings.begin(); item != settings.end(); ++item)
        values.insert(item.key(), item.value().toString());
    return values;
}
} // namespace

VisitRecorder::VisitRecorder(QMainWindow *window, QMenu *tools, StationArchive &stations)
    : QObject(window), window(window), stations(stations),
      noteAction(tools->addAction(tr("Visit Note…"))),
      reportAction(tools->addAction(tr("Visit Report…")))
{
    noteAction->setObjectName("actionVisitNote");
    reportAction->setObjectName("actionVisitReport");
    connect(noteAction, &QAction::triggered, this, &VisitRecorder::addNote);
    connect(reportAction, &QAction::triggered, this, &VisitRecorder::showReport);
    connect(&stations, &StationArchive::moduleConnected, this, &VisitRecorder::moduleConnected);
    connect(&stations, &StationArchive::moduleLost, this, &VisitRecorder::moduleLost);
    connect(&stations, &StationArchive::stationKnown, this, &VisitRecorder::stationKnown);
    updateActions();
}

void VisitRecorder::moduleConnected()
{
    connected = true;
    identityLearned = false;
    held.clear();
}

void VisitRecorder::moduleLost()
{
    // The port reports a failed open every half second; the visit's clock
    // for a reconnection starts at the first.
    if (connected)
        lostAt = now();
    connected = false;
    identityLearned = false;
    held.clear();
}

void VisitRecorder::stationKnown(quint32 serial, const QString &idText)
{
    if (identityLearned)
        return;
    identityLearned = true;
    archive::Database *database = stations.database();
    if (database == nullptr)
        return;
    const bool continues = visitId != 0 && serial == visitSerial &&
                           (lostAt == 0 || now() - lostAt <= ReconnectionSpanMs);
    if (continues) {
        if (lostAt != 0)
            keep({0, now(), archive::action::Connected, QString(),
                  QJsonObject{{"serial", qint64(serial)}, {"idText", idText}}});
    } else {
        qint64 started = 0;
        if (archive::startVisit(*database, archive::visitFactsFor(serial, idText, "talvik", false),
                                started)
                .failed())
            return;
        visitId = started;
        visitSerial = serial;
        reportSerial = serial;
        lastRead.clear();
        readInVisit = false;
        clockUpdateDue = false;
    }
    lostAt = 0;
    for (const archive::VisitAction &action : held)
        keep(action);
    held.clear();
    updateActions();
}

void VisitRecorder::record(const char *name, const OperationResult &result,
                           const QJsonObject &details)
{
    if (stations.database() == nullptr)
        return;
    archive::VisitAction action;
    action.at = now();
    action.name = name;
    if (result.failed())
        action.failure = result.message().isEmpty() ? tr("cancelled") : result.message();
    action.details = details;
    // Until this connection's module has told who it is, the action waits.
    if (connected && !identityLearned)
        held.push_back(action);
    else if (visitId != 0)
        keep(action);
}

void VisitRecorder::keep(const archive::VisitAction &action)
{
    archive::Database *database = stations.database();
    if (database == nullptr || visitId == 0)
        return;
    const OperationResult kept = archive::addVisitAction(*database, visitId, action);
    if (kept.failed())
        stations.showNote(tr("Visit not kept. %1").arg(kept.message()));
}

void VisitRecorder::configurationRead(const OperationResult &result,
                                      const config::ModuleIdentity &identity,
                                      const config::Configuration &values)
{
    QJsonObject details;
    if (result.succeeded()) {
        const QJsonObject settings = archive::keptSettings(values);
        details = {{"serial", qint64(identity.serialNumber)},
                   {"softwareVersion", identity.softwareVersion},
                   {"values", settings}};
        lastRead = valuesOf(settings);
        readInVisit = true;
    }
    record(archive::action::ConfigurationRead, result, details);
}

void VisitRecorder::configurationWritten(const OperationResult &result,
                                         const config::Configuration &values)
{
    const QJsonObject settings = archive::keptSettings(values);
    QJsonObject details{{"values", settings}};
    // What the module held: a read in this visit, else the archive's latest.
    QMap<QString, QString> before = lastRead;
    QString comparedWith = readInVisit ? "read" : QString();
    archive::Database *database = stations.database();
    if (!readInVisit && database != nullptr && visitSerial != 0 &&
        archive::latestConfiguration(*database, visitSerial, before).succeeded() &&
        !before.isEmpty())
        comparedWith = "archive";
    if (!comparedWith.isEmpty()) {
        QJsonArray changes;
        for (auto item = settings.begin(); item != settings.end(); ++item) {
            const QString after = item.value().toString();
            if (before.contains(item.key()) && before.value(item.key()) != after)
                changes.append(QJsonObject{
                    {"field", item.key()}, {"before", before.value(item.key())}, {"after", after}});
        }
        details.insert("comparedWith", comparedWith);
        details.insert("changes", changes);
    }
    if (result.succeeded()) {
        lastRead = valuesOf(settings);
        readInVisit = true;
    }
    record(archive::action::ConfigurationWritten, result, details);
}

void VisitRecorder::fileLoaded(const QString &path, const OperationResult &result)
{
    record(archive::action::FileLoaded, result, {{"file", path}});
}

void VisitRecorder::fileSaved(const QString &path, const OperationResult &result)
{
    record(archive::action::FileSaved, result, {{"file", path}});
}

void VisitRecorder::firmwareUploaded(const QString &path, quint32 size, quint16 checksum,
                                     const OperationResult &result)
{
    record(archive::action::FirmwareUpload, result,
           {{"file", path}, {"size", qint64(size)}, {"checksum", int(checksum)}});
}

void VisitRecorder::clockSet(const QDateTime &pcTime, const OperationResult &result)
{
    record(archive::action::ClockSet, result, {{"pcTime", pcTime.toString("yyyy-MM-dd hh:mm:ss")}});
    if (result.succeeded())
        clockUpdateDue = true;
}

void VisitRecorder::serialSet(quint32 serial, const OperationResult &result)
{
    record(archive::action::SerialSet, result, {{"serial", qint64(serial)}});
    // The module reconnects under its new number and stays in this visit.
    if (result.succeeded() && visitId != 0)
        visitSerial = serial;
}

void VisitRecorder::logErased(const OperationResult &result)
{
    qint64 archived = 0;
    archive::Database *database = stations.database();
    if (database != nullptr && visitSerial != 0)
        archive::archivedRecordCount(*database, visitSerial, archived);
    record(archive::action::LogErased, result, {{"archivedRecords", archived}});
}

void VisitRecorder::cellSwitched(bool enabled, const OperationResult &result)
{
    record(archive::action::CellSwitched, result, {{"enabled", enabled}});
}

void VisitRecorder::downloaded(const DownloadCounts &counts, const QString &fileName,
                               bool filesWritten, const OperationResult &result)
{
    QJsonObject details{{"full", counts.full},
                        {"records", qint64(counts.records)},
                        {"retries", qint64(counts.retries)},
                        {"archived", counts.archived},
                        {"newToArchive", counts.newToArchive},
                        {"file", fileName},
                        {"nothingNew", result.reason() == OperationResult::Reason::NothingNew}};
    record(archive::action::Download, result, details);
    if (filesWritten)
        checkDownloadedFiles(fileName);
}

// The health check on the records the download brought, and the clock
// update that the visit's clock set left in the module's log.
void VisitRecorder::checkDownloadedFiles(const QString &fileName)
{
    LogReader::Log log;
    QString error;
    if (LogReader::readLog(fileName, log, error) != 0)
        return;
    if (clockUpdateDue) {
        for (auto event = log.events.rbegin(); event != log.events.rend(); ++event) {
            if (!event->clockUpdate || event->clockSetTo == LogReader::NoTime)
                continue;
            record(archive::action::ClockUpdate, OperationResult::success(),
                   {{"from", LogReader::timeText(event->time)},
                    {"to", LogReader::timeText(event->clockSetTo)},
                    {"differenceSeconds", event->clockSetTo - event->time}});
            clockUpdateDue = false;
            break;
        }
    }
    QJsonArray findings;
    for (const HealthCheck::Finding &finding : HealthCheck::check(log).findings) {
        if (!finding.needsLook)
            continue;
        const QString where = finding.column.isEmpty() ? QString() : finding.column + ": ";
        findings.append(QJsonObject{
            {"rule", finding.rule},
            {"column", finding.column},
            {"count", finding.count},
            {"text", QStringLiteral("%1%2 (%3)").arg(where, finding.headline).arg(finding.count)}});
    }
    record(archive::action::Findings, OperationResult::success(), {{"findings", findings}});
}

void VisitRecorder::addNote()
{
    bool accepted = false;
    const QString text = QInputDialog::getMultiLineText(
        window, tr("Visit Note"), tr("What was done or found at the station:"), QString(),
        &accepted);
    if (!accepted || text.trimmed().isEmpty())
        return;
    archive::VisitAction note;
    note.at = now();
    note.name = archive::action::Note;
    note.details = {{"text", text.trimmed()}};
    keep(note);
}

void VisitRecorder::showReport()
{
    archive::Database *database = stations.database();
    if (database == nullptr)
        return;
    VisitReportDialog dialog(*database, reportSerial, visitId, window);
    dialog.exec();
}

void VisitRecorder::updateActions()
{
    noteAction->setEnabled(visitId != 0);
    reportAction->setEnabled(reportSerial != 0);
}
