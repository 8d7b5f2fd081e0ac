#include "archive/ingest.h"

#include "archive/archivedatabase.h"

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

bool historyCount(QSqlDatabase &db, quint32 serial, qint64 &count)
{
    QSqlQuery query(db);
    query.prepare("SELECT COUNT(*) FROM records WHERE serial = ? AND in_history = 1");
    query.addBindValue(qint64(serial));
    if (!query.exec() || !query.next())
        return false;
    count = query.value(0).toLongLong();
    return true;
}

} // namespace

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
    QSqlQuery station(db);
    station.prepare("INSERT INTO stations (serial, first_contact, last_contact) VALUES (?, ?, ?) "
                    "ON CONFLICT (serial) DO UPDATE SET last_contact = excluded.last_contact");
    station.addBindValue(serial);
    station.addBindValue(facts.downloadedAt);
    station.addBindValue(facts.downloadedAt);
    if (!station.exec())
        return failed(station);
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
    if (!historyCount(db, facts.serial, before))
        return databaseFailure(database.location(), db.lastError().text());

    QSqlQuery download(db);
    download.prepare("INSERT INTO downloads (uid, serial, downloaded_at, full_log, host, "
                     "user_name, record_count, retry_count, soil, solvane, globe1, globe2, "
                     "file_name, software_version, format_version) "
                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
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

    // The same bytes from an earlier download are the row already there.
    QSqlQuery insert(db);
    insert.prepare("INSERT OR IGNORE INTO records (serial, record_time, record_index, kind, "
                   "bad_checksum, in_history, bytes) VALUES (?, ?, ?, ?, ?, ?, ?)");
    QSqlQuery find(db);
    find.prepare("SELECT id FROM records WHERE serial = ? AND bytes = ?");
    QSqlQuery member(db);
    member.prepare("INSERT INTO download_records (download_id, slot, record_id, bad_checksum) "
                   "VALUES (?, ?, ?, ?)");
    const quint32 slotCount = qMin(facts.recordCount, store.capacity);
    for (quint32 slot = 0; slot < slotCount; ++slot) {
        const unsigned char *record = store.records[slot];
        const QByteArray bytes(reinterpret_cast<const char *>(record), LogRecord::Size);
        const bool bad = store.badChecksum[slot] == 1;
        const RecordFacts recordFacts = factsOf(record);
        insert.bindValue(0, serial);
        insert.bindValue(1, recordFacts.time.isNull() ? QVariant(QVariant::LongLong)
                                                      : recordFacts.time);
        insert.bindValue(2, recordFacts.index);
        insert.bindValue(3, recordFacts.kind);
        insert.bindValue(4, bad ? 1 : 0);
        insert.bindValue(5, recordFacts.inHistory ? 1 : 0);
        insert.bindValue(6, bytes);
        if (!insert.exec())
            return failed(insert);
        qint64 recordId = 0;
        if (insert.numRowsAffected() == 1) {
            recordId = insert.lastInsertId().toLongLong();
        } else {
            find.bindValue(0, serial);
            find.bindValue(1, bytes);
            if (!find.exec() || !find.next())
                return failed(find);
            recordId = find.value(0).toLongLong();
            find.finish();
        }
        member.bindValue(0, downloadId);
        member.bindValue(1, qint64(slot));
        member.bindValue(2, recordId);
        member.bindValue(3, bad ? 1 : 0);
        if (!member.exec())
            return failed(member);
    }

    // A record kept with its checksum mark leaves the history once a clean
    // copy of the same index and time is there, whichever came first.
    QSqlQuery supersede(db);
    supersede.prepare("UPDATE records SET in_history = 0 WHERE serial = ? AND in_history = 1 "
                      "AND bad_checksum = 1 AND EXISTS (SELECT 1 FROM records clean "
                      "WHERE clean.serial = records.serial "
                      "AND clean.record_time = records.record_time "
                      "AND clean.record_index = records.record_index "
                      "AND clean.in_history = 1 AND clean.bad_checksum = 0)");
    supersede.addBindValue(serial);
    if (!supersede.exec())
        return failed(supersede);

    qint64 after = 0;
    if (!historyCount(db, facts.serial, after))
        return databaseFailure(database.location(), db.lastError().text());
    if (!transaction.commit())
        return databaseFailure(database.location(), db.lastError().text());
    summary.downloadId = downloadId;
    summary.newRecords = after - before;
    return OperationResult::success();
}

} // namespace archive
