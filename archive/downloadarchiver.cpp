#include "archive/downloadarchiver.h"

#include "archive/archivedatabase.h"
#include "usb/modulesession.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QSysInfo>

namespace archive
{

namespace
{
// The module's station ID text.
constexpr int StationIdParameter = 556;

QString tr(const char *text)
{
    return QCoreApplication::translate("Talvik", text);
}
} // namespace

OperationResult askStationIdentity(ModuleSession &session, StationIdentity &identity)
{
    StationIdentity asked;
    if (session.querySerialNumber(asked.serial) != 0)
        return OperationResult::failure(OperationResult::Reason::Module,
                                        tr("The module did not tell its serial number."));
    QString text;
    if (session.readParamString(StationIdParameter, text) == 0)
        asked.idText = text;
    identity = asked;
    return OperationResult::success();
}

QString stationText(const StationIdentity &identity)
{
    const QString serial = tr("serial %1").arg(identity.serial);
    return identity.idText.trimmed().isEmpty() ? serial : identity.idText + ", " + serial;
}

DownloadFacts downloadFactsFor(const StationIdentity &station, bool full)
{
    DownloadFacts facts;
    facts.serial = station.serial;
    facts.stationId = station.idText;
    facts.downloadedAt = QDateTime::currentMSecsSinceEpoch();
    facts.full = full;
    facts.host = QSysInfo::machineHostName();
    facts.user = qEnvironmentVariable("USER");
    return facts;
}

DownloadArchiver::DownloadArchiver(Database &database, const RecordStore &store,
                                   const DownloadFacts &facts)
    : database(database), store(store), facts(facts)
{
}

void DownloadArchiver::rangeOpened(quint32 recordCount, const LogRecord::Columns &columns)
{
    facts.recordCount = recordCount;
    facts.columns = columns;
}

void DownloadArchiver::fetchFinished(quint32 retryCount)
{
    facts.retryCount = retryCount;
}

void DownloadArchiver::filesWritten(const QString &fileName)
{
    facts.fileName = QFileInfo(fileName).absoluteFilePath();
    tried = true;
    outcome = archiveDownload(database, facts, store, done);
}

QString DownloadArchiver::statusText() const
{
    if (!tried)
        return tr("Nothing was archived.");
    if (outcome.failed())
        return tr("Not archived. %1").arg(outcome.message());
    return done.newRecords == 1 ? tr("Archived 1 new record")
                                : tr("Archived %1 new records").arg(done.newRecords);
}

} // namespace archive
