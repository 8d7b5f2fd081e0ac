#include "archive/ingest.h"

#include "archive/archivedatabase.h"
#include "archive/importedlines.h"
#include "archive/stationhealth.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace archive
{

namespace
{

// Rolls back whatever is left uncommitted when it goes out of scope.
class Transaction
{
public:
    explicit Transaction(QSqlDatabase &db) : db(db), open(db.transaction()) {}
    ~Transaction()
    {
        if (open)
            db.rollback();
    }
    bool started() const { return open; }
    bool commit()
    {
        open = !db.commit();
        return !open;
    }

private:
    QSqlDatabase &db;
    bool open;
};

// What the station's history needs to know of one record.
struct RecordFacts {
    QVariant time; // seconds since 1970 as the module's clock stored it; null without a date
    qint64 index = 0;
    int kind = 0;
    bool inHistory = false;
};

RecordFacts factsOf(const unsigned char *record)
{
    RecordFacts facts;
    facts.index = (qint64(record[0]) << 24) | (record[1] << 16) | (record[2] << 8) | record[3];
    facts.kind = record[LogRecord::KindOffset];
    if (LogRecord::isErased(record))
        return facts;
    const QDateTime time = LogRecord::unpackLogDateTime(record + LogRecord::DateTimeOffset);
    if (!time.isValid())
        return facts;
    facts.time = time.toSecsSinceEpoch();
    facts.inHistory = true;
    return facts;
}

} // namespace

bool historyRecordCount(QSqlDatabase &db, quint32 serial, qint64 &count)
{
    QSqlQuery query(db);
    query.prepare("SELECT COUNT(*) FROM records WHERE serial = ? AND in_history = 1");
    query.addBindValue(qint64(serial));
    if (!query.exec() || !query.next())
        return false;
    count = query.value(0).toLongLong();
    return true;
}

bool markContact(QSqlDatabase &db, qint64 serial, qint64 at, QString &error)
{
    QSqlQuery station(db);
    station.prepare("INSERT INTO stations (serial, first_contact, last_contact) VALUES (?, ?, ?) "
                    "ON CONFLICT (serial) DO UPDATE SET last_contact = excluded.last_contact");
    station.addBindValue(serial);
    station.addBindValue(at);
    station.addBindValue(at);
    if (station.exec())
        return true;
    error = station.lastError().text();
    return false;
}

bool refreshStationSummary(QSqlDatabase &db, qint64 serial, QString &error)
{
    QSqlQuery query(db);
    query.prepare("INSERT INTO station_summaries (serial, records, first_record_time, "
                  "last_record_time) SELECT ?, COUNT(*), MIN(record_time), MAX(record_time) "
                  "FROM records WHERE serial = ? AND in_history = 1 ON CONFLICT (serial) DO "
                  "UPDATE SET records = excluded.records, first_record_time = "
                  "excluded.first_record_time, last_record_time = excluded.last_record_time, "
                  "revision = station_summaries.revision + 1");
    query.addBindValue(serial);
    query.addBindValue(serial);
    if (query.exec())
        return true;
    error = query.lastError().text();
    return false;
}

bool archivableSerial(quint32 serial)
{
    return serial != 0 && serial != 0xFFFFFFFFu;
}

OperationResult archiveDownload(Database &database, const DownloadFacts &facts,
                                const RecordStore &store, IngestSummary &summary)
{
    QSqlDatabase &db = database.connection();
    const auto failed = [&](const QSqlQuery &query) {
        return databaseFailure(database.location(), query.lastError().text());
    };
    Transaction transaction(db);
    if (!transaction.started())
        return databaseFailure(database.location(), db.lastError().text());

    const qint64 serial = facts.serial;
    QString error;
    if (!markContact(db, serial, facts.downloadedAt, error))
        return databaseFailure(database.location(), error);
    if (!facts.stationId.isNull()) {
        QSqlQuery name(db);
        name.prepare("INSERT INTO station_names (serial, id_text, first_seen, last_seen) "
                     "VALUES (?, ?, ?, ?) ON CONFLICT (serial, id_text) "
                     "DO UPDATE SET last_seen = excluded.last_seen");
        name.addBindValue(serial);
        name.addBindValue(facts.stationId);
        name.addBindValue(facts.downloadedAt);
        name.addBindValue(facts.downloadedAt);
        if (!name.exec())
            return failed(name);
    }
    qint64 before = 0;
    if (!historyRecordCount(db, facts.serial, before))
        return databaseFailure(database.location(), db.lastError().text());

    QSqlQuery download(db);
    download.prepare("INSERT INTO downloads (uid, serial, downloaded_at, full_log, host, "
                     "user_name, record_count, retry_count, soil, solvane, globe1, globe2, "
                     "file_name, software_version, format_version, source) "
                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 'module')");
    for (const QVariant &value :
         {QVariant(QUuid::createUuid().toString(QUuid::WithoutBraces)), QVariant(serial),
          QVariant(facts.downloadedAt), QVariant(facts.full ? 1 : 0), QVariant(facts.host),
          QVariant(facts.user), QVariant(qint64(facts.recordCount)),
          QVariant(qint64(facts.retryCount)), QVariant(facts.columns.soil ? 1 : 0),
          QVariant(facts.columns.solvane ? 1 : 0), QVariant(facts.columns.globeTemp1 ? 1 : 0),
          QVariant(facts.columns.globeTemp2 ? 1 : 0), QVariant(facts.fileName),
          facts.softwareVersion < 0 ? QVariant(QVariant::LongLong)
                                    : QVariant(facts.softwareVersion),
          QVariant(CsvFormatVersion)})
        download.addBindValue(value);
    if (!download.exec())
        return failed(download);
    const qint64 downloadId = download.lastInsertId().toLongLong();

    // The slots go into a table of this connection's own first; then the
    // records the station lacks are added, and every slot is tied to its
    // record, each in one statement, so SQLite does the matching itself. The
    // same bytes from an earlier download (or an earlier slot, as erased
    // slots are) are the row already there.
    const char *const steps[] = {
        "CREATE TEMP TABLE IF NOT EXISTS arriving (slot INTEGER PRIMARY KEY, record_time "
        "INTEGER, record_index INTEGER, kind INTEGER, bad_checksum INTEGER, in_history "
        "INTEGER, bytes BLOB)",
        "DELETE FROM arriving",
    };
    for (const char *step : steps) {
        QSqlQuery query(db);
        if (!query.exec(QString::fromLatin1(step)))
            return failed(query);
    }
    QSqlQuery arriving(db);
    arriving.prepare("INSERT INTO arriving VALUES (?, ?, ?, ?, ?, ?, ?)");
    const quint32 slotCount = qMin(facts.recordCount, store.capacity);
    for (quint32 slot = 0; slot < slotCount; ++slot) {
        const unsigned char *record = store.records[slot];
        const RecordFacts recordFacts = factsOf(record);
        arriving.bindValue(0, qint64(slot));
        arriving.bindValue(1, recordFacts.time.isNull() ? QVariant(QVariant::LongLong)
                                                        : recordFacts.time);
        arriving.bindValue(2, recordFacts.index);
        arriving.bindValue(3, recordFacts.kind);
        arriving.bindValue(4, store.badChecksum[slot] == 1 ? 1 : 0);
        arriving.bindValue(5, recordFacts.inHistory ? 1 : 0);
        arriving.bindValue(6, QByteArray(reinterpret_cast<const char *>(record), LogRecord::Size));
        if (!arriving.exec())
            return failed(arriving);
    }
    QSqlQuery add(db);
    add.prepare("INSERT OR IGNORE INTO records (serial, record_time, record_index, kind, "
                "bad_checksum, in_history, bytes) SELECT ?, record_time, record_index, kind, "
                "bad_checksum, in_history, bytes FROM arriving ORDER BY slot");
    add.addBindValue(serial);
    if (!add.exec())
        return failed(add);
    QSqlQuery tie(db);
    tie.prepare("INSERT INTO download_records (download_id, slot, record_id, bad_checksum) "
                "SELECT ?, a.slot, r.id, a.bad_checksum FROM arriving a "
                "JOIN records r ON r.serial = ? AND r.bytes = a.bytes");
    tie.addBindValue(downloadId);
    tie.addBindValue(serial);
    if (!tie.exec())
        return failed(tie);
    if (tie.numRowsAffected() != int(slotCount))
        return databaseFailure(database.location(),
                               QCoreApplication::translate("Talvik", "not every record was kept"));
    QSqlQuery done(db);
    done.exec("DELETE FROM arriving");
    // An imported line that one of these records renders to is that record.
    if (!retireMatchingLines(db, serial, downloadId, error))
        return databaseFailure(database.location(), error);

    // A record kept with its checksum mark leaves the history once a clean
    // copy of the same index and time is there, whichever came first.
    if (!retireMarkedCopies(db, serial, error))
        return databaseFailure(database.location(), error);

    qint64 after = 0;
    if (!historyRecordCount(db, facts.serial, after))
        return databaseFailure(database.location(), db.lastError().text());
    if (!refreshStationSummary(db, serial, error) || !keepStationHealth(database, serial, error))
        return databaseFailure(database.location(), error);
    if (!transaction.commit())
        return databaseFailure(database.location(), db.lastError().text());
    summary.downloadId = downloadId;
    summary.newRecords = after - before;
    return OperationResult::success();
}

} // namespace archive
