#include "archive/history.h"

#include "archive/archivedatabase.h"
#include "archive/importedlines.h"
#include "archive/ingest.h"
#include "archive/stationhealth.h"
#include "core/operationprogress.h"
#include "log/logcsv.h"
#include "log/logstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// Whether each record belongs to the history: it has a date, and it is not
// a marked copy of a record whose clean copy is there.
bool recomputeHistory(QSqlDatabase &db, qint64 serial, QString &error)
{
    QSqlQuery query(db);
    query.prepare("UPDATE records SET in_history = CASE WHEN record_time IS NULL THEN 0 "
                  "WHEN bad_checksum = 1 AND EXISTS (SELECT 1 FROM records clean "
                  "WHERE clean.serial = records.serial "
                  "AND clean.record_time = records.record_time "
                  "AND clean.record_index = records.record_index "
                  "AND clean.bad_checksum = 0) THEN 0 ELSE 1 END WHERE serial = ?");
    query.addBindValue(serial);
    if (!query.exec()) {
        error = query.lastError().text();
        return false;
    }
    return retireMatchingLines(db, serial, 0, error);
}
} // namespace

qint64 lowerBound(qint64 from)
{
    return from == NoLimit ? std::numeric_limits<qint64>::min() : from;
}

qint64 upperBound(qint64 to)
{
    return to == NoLimit ? std::numeric_limits<qint64>::max() : to;
}

OperationResult rangeColumns(Database &database, quint32 serial, qint64 from, qint64 to,
                             LogRecord::Columns &columns)
{
    // Asked download by download, each stopping at its first record in the
    // range: joining every membership of a long history first takes a second.
    QSqlQuery groups(database.connection());
    groups.prepare("SELECT MAX(d.soil), MAX(d.solvane), MAX(d.globe1), MAX(d.globe2) "
                   "FROM downloads d WHERE d.serial = ? AND EXISTS (SELECT 1 "
                   "FROM download_records m JOIN records r ON r.id = m.record_id "
                   "WHERE m.download_id = d.id AND r.in_history = 1 "
                   "AND r.record_time BETWEEN ? AND ?)");
    groups.addBindValue(qint64(serial));
    groups.addBindValue(lowerBound(from));
    groups.addBindValue(upperBound(to));
    if (!groups.exec() || !groups.next())
        return databaseFailure(database.location(), groups.lastError().text());
    columns.soil = groups.value(0).toInt() != 0;
    columns.solvane = groups.value(1).toInt() != 0;
    columns.globeTemp1 = groups.value(2).toInt() != 0;
    columns.globeTemp2 = groups.value(3).toInt() != 0;
    return OperationResult::success();
}

OperationResult exportStation(Database &database, quint32 serial, qint64 from, qint64 to,
                              const QString &fileName, qint64 &recordCount)
{
    QSqlDatabase &db = database.connection();
    const auto failed = [&](const QSqlQuery &query) {
        return databaseFailure(database.location(), query.lastError().text());
    };
    LogRecord::Columns columns;
    const OperationResult grouped = rangeColumns(database, serial, from, to, columns);
    if (grouped.failed())
        return grouped;

    QSqlQuery records(db);
    records.setForwardOnly(true);
    records.prepare("SELECT bytes, bad_checksum, line, kind FROM records WHERE serial = ? "
                    "AND in_history = 1 AND record_time BETWEEN ? AND ? "
                    "ORDER BY record_time, record_index");
    records.addBindValue(qint64(serial));
    records.addBindValue(lowerBound(from));
    records.addBindValue(upperBound(to));
    if (!records.exec())
        return failed(records);
    // Downloaded records as this export's column groups print them; an
    // imported line as its file has it.
    QByteArray measurements = LogRecord::measurementHeader(columns).toUtf8() + "\r\n";
    QByteArray system = LogRecord::systemHeader().toUtf8() + "\r\n";
    char line[LogRecord::MaxLineLength];
    qint64 count = 0;
    while (records.next()) {
        const bool measurement = records.value(3).toInt() == LogRecord::Measurement;
        QByteArray &file = measurement ? measurements : system;
        const QByteArray bytes = records.value(0).toByteArray();
        if (bytes.size() == LogRecord::Size) {
            const auto *record = reinterpret_cast<const unsigned char *>(bytes.constData());
            const bool bad = records.value(1).toInt() != 0;
            const char *end = measurement
                                  ? LogRecord::appendMeasurementLine(line, record, columns, bad)
                                  : LogRecord::appendSystemLine(line, record, bad);
            file.append(line, int(end - line));
        } else {
            file.append(records.value(2).toString().toUtf8());
        }
        file.append("\r\n");
        ++count;
    }
    system.append("Retries 0\r\n");
    const OperationResult written = writeLogFiles(fileName, measurements, system);
    if (written.succeeded())
        recordCount = count;
    return written;
}

OperationResult measurementTimes(Database &database, quint32 serial, std::vector<qint64> &times)
{
    QSqlQuery query(database.connection());
    query.setForwardOnly(true);
    query.prepare("SELECT record_time FROM records WHERE serial = ? AND in_history = 1 "
                  "AND kind = ? ORDER BY record_time, record_index");
    query.addBindValue(qint64(serial));
    query.addBindValue(int(LogRecord::Measurement));
    if (!query.exec())
        return databaseFailure(database.location(), query.lastError().text());
    std::vector<qint64> found;
    while (query.next())
        found.push_back(query.value(0).toLongLong());
    times.swap(found);
    return OperationResult::success();
}

OperationResult removeDownload(Database &database, qint64 downloadId)
{
    QSqlDatabase &db = database.connection();
    QSqlQuery station(db);
    station.prepare("SELECT serial FROM downloads WHERE id = ?");
    station.addBindValue(downloadId);
    if (!station.exec())
        return databaseFailure(database.location(), station.lastError().text());
    if (!station.next())
        return OperationResult::failure(OperationResult::Reason::Refused,
                                        tr("The archive holds no download %1.").arg(downloadId));
    const qint64 serial = station.value(0).toLongLong();
    station.finish();

    if (!db.transaction())
        return databaseFailure(database.location(), db.lastError().text());
    const char *const steps[] = {
        "DELETE FROM download_records WHERE download_id = :id",
        "DELETE FROM downloads WHERE id = :id",
        ("DELETE FROM records WHERE serial = :serial AND NOT EXISTS "
         "(SELECT 1 FROM download_records m WHERE m.record_id = records.id)"),
    };
    QString error;
    for (const char *step : steps) {
        QSqlQuery query(db);
        query.prepare(QString::fromLatin1(step));
        if (QString::fromLatin1(step).contains(":id"))
            query.bindValue(":id", downloadId);
        if (QString::fromLatin1(step).contains(":serial"))
            query.bindValue(":serial", serial);
        if (!query.exec()) {
            error = query.lastError().text();
            break;
        }
    }
    if (error.isEmpty() && recomputeHistory(db, serial, error) &&
        refreshStationSummary(db, serial, error))
        keepStationHealth(database, serial, error);
    if (!error.isEmpty()) {
        db.rollback();
        return databaseFailure(database.location(), error);
    }
    if (!db.commit())
        return databaseFailure(database.location(), db.lastError().text());
    return OperationResult::success(
        tr("Download %1 was removed from the archive.").arg(downloadId));
}

OperationResult backUp(Database &database, const QString &fileName)
{
    if (QFileInfo::exists(fileName))
        return OperationResult::failure(OperationResult::Reason::Refused,
                                        tr("%1 exists; a backup never replaces a file.")
                                            .arg(QDir::toNativeSeparators(fileName)));
    // SQLite writes one consistent snapshot, whoever else writes meanwhile.
    QSqlQuery query(database.connection());
    query.prepare("VACUUM INTO ?");
    query.addBindValue(QFileInfo(fileName).absoluteFilePath());
    if (!query.exec())
        return databaseFailure(database.location(), query.lastError().text());
    QFile::setPermissions(fileName, QFile::ReadOwner | QFile::WriteOwner);
    return OperationResult::success();
}

} // namespace archive
