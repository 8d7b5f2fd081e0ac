#include "archive/archivequeries.h"

#include "archive/archivedatabase.h"
#include "core/operationprogress.h"
#include "log/logcsv.h"
#include "log/logstore.h"

#include <QCoreApplication>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cstring>

namespace archive
{

namespace
{
QString tr(const char *text)
{
    return QCoreApplication::translate("Talvik", text);
}
// An imported pair comes out as it came in: its headers and lines, the
// measurement file's in the first slots.
OperationResult exportImported(Database &database, qint64 downloadId, quint32 recordCount,
                               quint32 retryCount, const QString &measurementHeader,
                               const QString &systemHeader, const QString &fileName)
{
    QSqlQuery lines(database.connection());
    lines.setForwardOnly(true);
    lines.prepare("SELECT r.line, r.kind FROM download_records m JOIN records r"
                  " ON r.id = m.record_id WHERE m.download_id = ? ORDER BY m.slot");
    lines.addBindValue(downloadId);
    if (!lines.exec())
        return databaseFailure(database.location(), lines.lastError().text());
    QByteArray measurements = measurementHeader.toUtf8() + "\r\n";
    QByteArray system = systemHeader.toUtf8() + "\r\n";
    quint32 count = 0;
    while (lines.next()) {
        QByteArray &file = lines.value(1).toInt() == LogRecord::Measurement ? measurements : system;
        file.append(lines.value(0).toString().toUtf8() + "\r\n");
        ++count;
    }
    if (count != recordCount)
        return databaseFailure(database.location(),
                               tr("download %1 lacks records").arg(downloadId));
    system.append("Retries " + QByteArray::number(retryCount) + "\r\n");
    return writeLogFiles(fileName, measurements, system);
}
} // namespace

OperationResult listStations(Database &database, QVector<StationSummary> &stations)
{
    QSqlQuery query(database.connection());
    // The summaries, never the records: the list takes as long with ten
    // years of records as with one download.
    if (!query.exec("SELECT s.serial, COALESCE(m.records, 0), m.first_record_time,"
                    " m.last_record_time,"
                    " (SELECT MAX(downloaded_at) FROM downloads d WHERE d.serial = s.serial),"
                    " m.health_revision = m.revision, m.findings, m.worst_finding, m.battery,"
                    " m.battery_per_day"
                    " FROM stations s LEFT JOIN station_summaries m ON m.serial = s.serial"
                    " ORDER BY s.serial"))
        return databaseFailure(database.location(), query.lastError().text());
    QVector<StationSummary> found;
    while (query.next()) {
        StationSummary station;
        station.serial = quint32(query.value(0).toLongLong());
        station.records = query.value(1).toLongLong();
        station.firstRecordTime = query.value(2).toLongLong();
        station.lastRecordTime = query.value(3).toLongLong();
        station.lastDownload = query.value(4).toLongLong();
        StationHealth &health = station.health;
        health.known = query.value(5).toBool();
        if (health.known) {
            health.findings = query.value(6).toInt();
            health.worst = query.value(7).toString();
            if (!query.value(8).isNull())
                health.battery = query.value(8).toDouble();
            if (!query.value(9).isNull())
                health.batteryPerDay = query.value(9).toDouble();
        }
        found.append(station);
    }
    // Every station's names in one query: one a station costs a round trip
    // each on a network's server.
    QSqlQuery names(database.connection());
    names.setForwardOnly(true);
    if (!names.exec("SELECT serial, id_text FROM station_names ORDER BY serial, last_seen DESC"))
        return databaseFailure(database.location(), names.lastError().text());
    QMap<quint32, QStringList> idTexts;
    while (names.next())
        idTexts[quint32(names.value(0).toLongLong())].append(names.value(1).toString());
    for (StationSummary &station : found)
        station.idTexts = idTexts.value(station.serial);
    stations = found;
    return OperationResult::success();
}

OperationResult listDownloads(Database &database, quint32 serial,
                              QVector<DownloadSummary> &downloads)
{
    QSqlQuery query(database.connection());
    query.prepare("SELECT id, serial, downloaded_at, full_log, host, user_name, record_count,"
                  " retry_count, soil, solvane, globe1, globe2, file_name, source FROM downloads"
                  " WHERE serial = ? ORDER BY downloaded_at, id");
    query.addBindValue(qint64(serial));
    if (!query.exec())
        return databaseFailure(database.location(), query.lastError().text());
    QVector<DownloadSummary> found;
    while (query.next()) {
        DownloadSummary download;
        download.id = query.value(0).toLongLong();
        download.serial = quint32(query.value(1).toLongLong());
        download.downloadedAt = query.value(2).toLongLong();
        download.full = query.value(3).toInt() != 0;
        download.host = query.value(4).toString();
        download.user = query.value(5).toString();
        download.recordCount = quint32(query.value(6).toLongLong());
        download.retryCount = quint32(query.value(7).toLongLong());
        download.columns.soil = query.value(8).toInt() != 0;
        download.columns.solvane = query.value(9).toInt() != 0;
        download.columns.globeTemp1 = query.value(10).toInt() != 0;
        download.columns.globeTemp2 = query.value(11).toInt() != 0;
        download.fileName = query.value(12).toString();
        download.imported = query.value(13).toString() == "import";
        found.append(download);
    }
    downloads = found;
    return OperationResult::success();
}

OperationResult exportDownload(Database &database, qint64 downloadId, const QString &fileName)
{
    QSqlQuery header(database.connection());
    header.prepare("SELECT record_count, retry_count, soil, solvane, globe1, globe2, source,"
                   " measurement_header, system_header FROM downloads WHERE id = ?");
    header.addBindValue(downloadId);
    if (!header.exec())
        return databaseFailure(database.location(), header.lastError().text());
    if (!header.next())
        return OperationResult::failure(OperationResult::Reason::Refused,
                                        tr("The archive holds no download %1.").arg(downloadId));
    const quint32 recordCount = quint32(header.value(0).toLongLong());
    const quint32 retryCount = quint32(header.value(1).toLongLong());
    LogRecord::Columns columns;
    columns.soil = header.value(2).toInt() != 0;
    columns.solvane = header.value(3).toInt() != 0;
    columns.globeTemp1 = header.value(4).toInt() != 0;
    columns.globeTemp2 = header.value(5).toInt() != 0;
    if (header.value(6).toString() == "import")
        return exportImported(database, downloadId, recordCount, retryCount,
                              header.value(7).toString(), header.value(8).toString(), fileName);

    OwnRecordStore own(qMax<quint32>(recordCount, 1));
    const RecordStore store = own.store();
    QSqlQuery members(database.connection());
    members.prepare(
        "SELECT m.slot, m.bad_checksum, r.bytes FROM download_records m"
        " JOIN records r ON r.id = m.record_id WHERE m.download_id = ? ORDER BY m.slot");
    members.addBindValue(downloadId);
    if (!members.exec())
        return databaseFailure(database.location(), members.lastError().text());
    quint32 filled = 0;
    while (members.next()) {
        const quint32 slot = quint32(members.value(0).toLongLong());
        const QByteArray bytes = members.value(2).toByteArray();
        if (slot >= recordCount || bytes.size() != LogRecord::Size)
            return databaseFailure(database.location(),
                                   tr("download %1 has a damaged record").arg(downloadId));
        std::memcpy(store.records[slot], bytes.constData(), LogRecord::Size);
        store.badChecksum[slot] = members.value(1).toInt() != 0 ? 1 : 0;
        ++filled;
    }
    if (filled != recordCount)
        return databaseFailure(database.location(),
                               tr("download %1 lacks records").arg(downloadId));
    NoProgress progress;
    return writeLogCsv(fileName, store, recordCount, retryCount, columns, progress);
}

} // namespace archive
