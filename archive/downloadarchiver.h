#ifndef DOWNLOADARCHIVER_H
#define DOWNLOADARCHIVER_H

#include "archive/ingest.h"
#include "core/operationresult.h"
#include "log/logdownloader.h"

#include <QString>

class ModuleSession;

namespace archive
{

class Database;

// Which module is plugged in, as far as the archive needs to know it.
struct StationIdentity {
    quint32 serial = 0;
    QString idText; // null when the module did not tell it
};

// The serial number (0x01) and, once that is known, the ID text (parameter
// 556), by the request rule. The identity changes only on success.
OperationResult askStationIdentity(ModuleSession &session, StationIdentity &identity);

// "Ridge North, serial 20471", or the serial alone.
QString stationText(const StationIdentity &identity);

// The facts of a download about to start from this PC: now, this host and
// user, and the station.
DownloadFacts downloadFactsFor(const StationIdentity &station, bool full);

// Keeps a download in the archive once both its files are written and
// before the module hears that its records were fetched. Whatever the
// archive answers, the download itself goes on as it would without it.
class DownloadArchiver : public DownloadObserver
{
public:
    // facts holds the station and the download's circumstances; the
    // archiver adds what the download learns.
    DownloadArchiver(Database &database, const RecordStore &store, const DownloadFacts &facts);

    void rangeOpened(quint32 recordCount, const LogRecord::Columns &columns) override;
    void fetchFinished(quint32 retryCount) override;
    void filesWritten(const QString &fileName) override;

    // Whether the download reached the archive, and what it said.
    bool attempted() const { return tried; }
    quint32 serial() const { return facts.serial; }
    quint32 recordCount() const { return facts.recordCount; }
    quint32 retryCount() const { return facts.retryCount; }
    const OperationResult &result() const { return outcome; }
    const IngestSummary &summary() const { return done; }
    // "Archived 412 new records", or why not.
    QString statusText() const;

private:
    Database &database;
    const RecordStore store;
    DownloadFacts facts;
    bool tried = false;
    OperationResult outcome = OperationResult::success();
    IngestSummary done;
};

} // namespace archive

#endif
