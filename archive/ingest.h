#ifndef INGEST_H
#define INGEST_H

#include "core/operationresult.h"
#include "log/logrecord.h"
#include "log/logstore.h"

#include <QSqlDatabase>
#include <QString>
#include <QtGlobal>

// A download that both CSV files hold, kept in the archive: its records
// once per station, and which download brought which.
namespace archive
{

class Database;

// The layout of the CSV files this Talvik writes, kept with each download.
constexpr int CsvFormatVersion = 1;

struct DownloadFacts {
    quint32 serial = 0;
    QString stationId;       // the module's ID text, when known
    qint64 downloadedAt = 0; // ms since 1970 on this PC's clock
    bool full = true;
    QString host;
    QString user;
    quint32 recordCount = 0;
    quint32 retryCount = 0;
    LogRecord::Columns columns;
    QString fileName;         // the measurement file
    int softwareVersion = -1; // -1: not known
};

struct IngestSummary {
    qint64 downloadId = 0;
    // Records the station's history did not have before.
    qint64 newRecords = 0;
};

// A module never given a serial reads 0 or 0xFFFFFFFF; its records cannot
// be told from another such module's.
bool archivableSerial(quint32 serial);

// The records in the station's history, on the archive's connection.
bool historyRecordCount(QSqlDatabase &db, quint32 serial, qint64 &count);
// Adds the station at its first contact, or moves its last contact to at.
bool markContact(QSqlDatabase &db, qint64 serial, qint64 at, QString &error);
// Brings the station's summary up to its records, inside the transaction
// that changed them.
bool refreshStationSummary(QSqlDatabase &db, qint64 serial, QString &error);

// Slots 0 .. recordCount - 1 of store, in one transaction: all or nothing.
// The summary changes only on success.
OperationResult archiveDownload(Database &database, const DownloadFacts &facts,
                                const RecordStore &store, IngestSummary &summary);

} // namespace archive

#endif
