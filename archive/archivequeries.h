#ifndef ARCHIVEQUERIES_H
#define ARCHIVEQUERIES_H

#include "archive/stationhealth.h"
#include "core/operationresult.h"
#include "log/logrecord.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

// What the archive answers: its stations, their downloads, and a download's
// files written again.
namespace archive
{

class Database;

struct StationSummary {
    quint32 serial = 0;
    QStringList idTexts;        // every ID text seen, the latest first
    qint64 records = 0;         // in the station's history
    qint64 firstRecordTime = 0; // seconds since 1970, module's clock; 0 without records
    qint64 lastRecordTime = 0;
    qint64 lastDownload = 0; // ms since 1970, this PC's clock; 0 without downloads
    StationHealth health;    // of the last week of records, as kept with the summary
};

struct DownloadSummary {
    qint64 id = 0;
    quint32 serial = 0;
    qint64 downloadedAt = 0;
    bool full = true;
    QString host;
    QString user;
    quint32 recordCount = 0;
    quint32 retryCount = 0;
    LogRecord::Columns columns;
    QString fileName;
    bool imported = false; // from a pair of CSV files, not from a module
};

OperationResult listStations(Database &database, QVector<StationSummary> &stations);
OperationResult listDownloads(Database &database, quint32 serial,
                              QVector<DownloadSummary> &downloads);

// The download's two files, byte for byte as the download wrote them.
OperationResult exportDownload(Database &database, qint64 downloadId, const QString &fileName);

} // namespace archive

#endif
