#include "archive/sync.h"

#include "archive/archivedatabase.h"
#include "archive/importedlines.h"
#include "archive/stationhealth.h"
#include "archive/visitrecord.h"
#include "core/operationprogress.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>

namespace archive
{

namespace
{
QString tr(const char *text)
{
    return QCoreApplication::translate("Talvik", text);
}

OperationResult stopped(qint64 downloads)
{
    return OperationResult::failure(
        OperationResult::Reason::Cancelled,
        QCoreApplication::translate(
            "Talvik", "The sync was stopped after %n download(s); the next one sends the rest.",
            nullptr, int(downloads)));
}

// Rows per statement: a few hundred keep the statements a few hundred
// kilobytes and far below the server's limit on parameters.
constexpr int RecordsPerStatement = 500;
constexpr int RowsPerStatement = 200;
constexpr int KeysPerLookup = 500;

// Where a step failed: the connection's location and its error.
struct Failure {
    QString location;
    QString error;
};

QString repeated(const QString &row, int count)
{
    QStringList rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i)
        rows.append(row);
    return rows.join(QLatin1Char(','));
}

// Adds rows of `columns` values each with multi-row statements: head, then
// the row template once per row, then tail.
bool insertRows(QSqlDatabase &db, const QString &head, const QString &row, const QString &tail,
                int columns, const QVector<QVariant> &values, qint64 &added, QString &error)
{
    const int rowCount = values.size() / columns;
    for (int first = 0; first < rowCount; first += RowsPerStatement) {
        const int rows = qMin(RowsPerStatement, rowCount - first);
        QSqlQuery insert(db);
        if (!insert.prepare(head + repeated(row, rows) + tail)) {
            error = insert.lastError().text();
            return false;
        }
        for (int i = first * columns; i < (first + rows) * columns; ++i)
            insert.addBindValue(values[i]);
        if (!insert.exec()) {
            error = insert.lastError().text();
            return false;
        }
        added += qMax(0, insert.numRowsAffected());
    }
    return true;
}

// Which of the keys the server's table holds already.
bool presentOnServer(QSqlDatabase &db, const char *table, const QStringList &uids,
                     QSet<QString> &present, QString &error)
{
    for (int first = 0; first < uids.size(); first += KeysPerLookup) {
        const int count = qMin(KeysPerLookup, uids.size() - first);
        QSqlQuery lookup(db);
        lookup.setForwardOnly(true);
        if (!lookup.prepare(QStringLiteral("SELECT uid FROM %1 WHERE uid IN (%2)")
                                .arg(QLatin1String(table), repeated("?", count)))) {
            error = lookup.lastError().text();
            return false;
        }
        for (int i = first; i < first + count; ++i)
            lookup.addBindValue(uids[i]);
        if (!lookup.exec()) {
            error = lookup.lastError().text();
            return false;
        }
        while (lookup.next())
            present.insert(lookup.value(0).toString());
    }
    return true;
}

const QString StationHead =
    QStringLiteral("INSERT INTO stations (serial, first_contact, last_contact) VALUES ");
const QString StationRow = QStringLiteral("(?::bigint, ?::bigint, ?::bigint)");
const QString StationTail = QStringLiteral(" ON CONFLICT (serial) DO NOTHING");

// The local stations' rows, all or one, as values for StationRow.
bool localStations(QSqlDatabase &db, const QVariant &serial, QVector<QVariant> &values,
                   QString &error)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(serial.isNull() ? QStringLiteral("SELECT serial, first_contact, last_contact "
                                                   "FROM stations ORDER BY serial")
                                  : QStringLiteral("SELECT serial, first_contact, last_contact "
                                                   "FROM stations WHERE serial = ?"));
    if (!serial.isNull())
        query.addBindValue(serial);
    if (!query.exec()) {
        error = query.lastError().text();
        return false;
    }
    while (query.next())
        for (int column = 0; column < 3; ++column)
            values.append(query.value(column).toLongLong());
    return true;
}

// Each station once, ordered by serial so that two PCs take the stations'
// rows in the same order; the server merges the contact times.
bool sendStations(Database &local, QSqlDatabase &server, Failure &failure)
{
    QVector<QVariant> stations;
    if (!localStations(local.connection(), QVariant(), stations, failure.error)) {
        failure.location = local.location();
        return false;
    }
    QVector<QVariant> names;
    QSqlQuery query(local.connection());
    query.setForwardOnly(true);
    if (!query.exec("SELECT serial, id_text, first_seen, last_seen FROM station_names "
                    "ORDER BY serial, id_text")) {
        failure = {local.location(), query.lastError().text()};
        return false;
    }
    while (query.next()) {
        names.append(query.value(0).toLongLong());
        names.append(query.value(1).toString());
        names.append(query.value(2).toLongLong());
        names.append(query.value(3).toLongLong());
    }
    if (!server.transaction()) {
        failure.error = server.lastError().text();
        return false;
    }
    qint64 added = 0;
    if (!insertRows(server, StationHead, StationRow, StationTail, 3, stations, added,
                    failure.error) ||
        !insertRows(server,
                    "INSERT INTO station_names (serial, id_text, first_seen, last_seen) VALUES ",
                    "(?::bigint, ?::text, ?::bigint, ?::bigint)",
                    " ON CONFLICT (serial, id_text) DO NOTHING", 4, names, added, failure.error)) {
        server.rollback();
        return false;
    }
    if (!server.commit()) {
        failure.error = server.lastError().text();
        return false;
    }
    return true;
}

// Values per record sent: slot, its mark in the download, time, index, kind,
// the record's mark, history, and bytes or line and line_columns.
constexpr int RecordValues = 10;

// Adds the records of one batch and the download's slots that hold them. A
// record the station has already, by its bytes or by its line and column
// groups, keeps its row; the lookups run only for the rows this statement
// did not add.
QString recordsStatement(int rows)
{
    return QStringLiteral("WITH v (slot, member_bad, record_time, record_index, kind, record_bad, "
                          "in_history, bytes, line, line_columns) AS (VALUES ") +
           repeated("(?::integer, ?::integer, ?::bigint, ?::bigint, ?::integer, ?::integer, "
                    "?::integer, ?::bytea, ?::text, ?::integer)",
                    rows) +
           QStringLiteral(
               "), added AS (INSERT INTO records (serial, record_time, record_index, kind, "
               "bad_checksum, in_history, bytes, line, line_columns) SELECT ?::bigint, "
               "record_time, record_index, kind, record_bad, in_history, bytes, line, "
               "line_columns FROM v ON CONFLICT DO NOTHING "
               "RETURNING id, bytes, line, line_columns) "
               "INSERT INTO download_records (download_id, slot, record_id, bad_checksum) "
               "SELECT ?::bigint, v.slot, COALESCE(a.id, l.id, (SELECT r.id FROM records r "
               "WHERE r.serial = ?::bigint AND r.bytes = v.bytes), (SELECT r.id FROM records r "
               "WHERE r.serial = ?::bigint AND r.line = v.line "
               "AND r.line_columns = v.line_columns)), v.member_bad "
               "FROM v LEFT JOIN added a ON a.bytes = v.bytes "
               "LEFT JOIN added l ON l.line = v.line AND l.line_columns = v.line_columns");
}

// The pairs of an imported line in the station's history and module bytes
// of the same record (serial, time and index), one side of each pair among
// the download's records: for a module download its bytes, for an import
// its lines. A station without imported lines, most of them, costs one look
// at the index of lines.
const QString LinePairsFromBytes =
    QStringLiteral("SELECT DISTINCT l.id, l.line, l.line_columns, b.bytes, b.bad_checksum "
                   "FROM download_records m JOIN records b ON b.id = m.record_id "
                   "JOIN records l ON l.serial = b.serial AND l.record_time = b.record_time "
                   "AND l.record_index = b.record_index "
                   "WHERE m.download_id = ?::bigint AND b.bytes IS NOT NULL AND l.line IS NOT NULL "
                   "AND l.in_history = 1 AND EXISTS (SELECT 1 FROM records i "
                   "WHERE i.serial = ?::bigint AND i.line IS NOT NULL)");
const QString LinePairsFromLines =
    QStringLiteral("SELECT DISTINCT l.id, l.line, l.line_columns, b.bytes, b.bad_checksum "
                   "FROM download_records m JOIN records l ON l.id = m.record_id "
                   "JOIN records b ON b.serial = l.serial AND b.record_time = l.record_time "
                   "AND b.record_index = l.record_index "
                   "WHERE m.download_id = ?::bigint AND l.serial = ?::bigint "
                   "AND l.line IS NOT NULL AND l.in_history = 1 AND b.bytes IS NOT NULL");

enum class Sent { Done, AlreadyThere, Gone, Cancelled, Failed };

class DownloadSender
{
public:
    DownloadSender(Database &local, Database &server, const SyncOptions &options,
                   OperationProgress &progress)
        : local(local), server(server), options(options), progress(progress)
    {
    }

    Sent send(qint64 localId, qint64 &slotCount, Failure &failure)
    {
        QSqlDatabase &db = server.connection();
        QSqlQuery header(local.connection());
        header.setForwardOnly(true);
        header.prepare("SELECT uid, serial, downloaded_at, full_log, host, user_name, "
                       "record_count, retry_count, soil, solvane, globe1, globe2, file_name, "
                       "software_version, format_version, source, measurement_header, "
                       "system_header FROM downloads WHERE id = ?");
        header.addBindValue(localId);
        if (!header.exec())
            return localFailure(header, failure);
        if (!header.next())
            return Sent::Gone; // removed here since the sync began
        const qint64 serial = header.value(1).toLongLong();

        if (!db.transaction()) {
            failure.error = db.lastError().text();
            return Sent::Failed;
        }
        Sent sent = sendWithin(localId, header, serial, slotCount, failure);
        if (sent == Sent::Done) {
            QSqlQuery refresh(db);
            refresh.prepare("SELECT talvik_refresh_station(?)");
            refresh.addBindValue(serial);
            if (!refresh.exec()) {
                failure.error = refresh.lastError().text();
                sent = Sent::Failed;
            }
        }
        if (sent != Sent::Done) {
            db.rollback();
            return sent;
        }
        if (!db.commit()) {
            failure.error = db.lastError().text();
            return Sent::Failed;
        }
        return Sent::Done;
    }

private:
    Sent localFailure(const QSqlQuery &query, Failure &failure)
    {
        failure = {local.location(), query.lastError().text()};
        return Sent::Failed;
    }

    Sent serverFailure(const QSqlQuery &query, Failure &failure)
    {
        failure.error = query.lastError().text();
        return Sent::Failed;
    }

    Sent sendWithin(qint64 localId, const QSqlQuery &header, qint64 serial, qint64 &slotCount,
                    Failure &failure)
    {
        QSqlDatabase &db = server.connection();
        // One PC at a time adds a station's records, so that the server's
        // history sees the clean copies another PC brought.
        QSqlQuery lock(db);
        lock.prepare("SELECT pg_advisory_xact_lock(?::bigint)");
        lock.addBindValue(serial);
        if (!lock.exec())
            return serverFailure(lock, failure);
        QVector<QVariant> station;
        qint64 ignored = 0;
        if (!localStations(local.connection(), serial, station, failure.error)) {
            failure.location = local.location();
            return Sent::Failed;
        }
        if (!insertRows(db, StationHead, StationRow, StationTail, 3, station, ignored,
                        failure.error))
            return Sent::Failed;

        QSqlQuery download(db);
        download.prepare("INSERT INTO downloads (uid, serial, downloaded_at, full_log, host, "
                         "user_name, record_count, retry_count, soil, solvane, globe1, globe2, "
                         "file_name, software_version, format_version, source, "
                         "measurement_header, system_header) VALUES (?::text, ?::bigint, "
                         "?::bigint, ?::integer, ?::text, ?::text, ?::bigint, ?::bigint, "
                         "?::integer, ?::integer, ?::integer, ?::integer, ?::text, ?::integer, "
                         "?::integer, ?::text, ?::text, ?::text) "
                         "ON CONFLICT (uid) DO NOTHING RETURNING id");
        for (int column = 0; column < 18; ++column) {
            QVariant value = header.value(column);
            if ((column == 4 || column == 5) && !options.withNames)
                value = QVariant(QVariant::String);
            download.addBindValue(value);
        }
        if (!download.exec())
            return serverFailure(download, failure);
        if (!download.next())
            return Sent::AlreadyThere;
        const qint64 serverId = download.value(0).toLongLong();

        QSqlQuery members(local.connection());
        members.setForwardOnly(true);
        members.prepare("SELECT m.slot, m.bad_checksum, r.record_time, r.record_index, r.kind, "
                        "r.bad_checksum, r.bytes, r.line, r.line_columns "
                        "FROM download_records m "
                        "JOIN records r ON r.id = m.record_id WHERE m.download_id = ? "
                        "ORDER BY m.slot");
        members.addBindValue(localId);
        if (!members.exec())
            return localFailure(members, failure);
        QVector<QVariant> batch;
        batch.reserve(RecordsPerStatement * RecordValues);
        qint64 count = 0;
        bool bytes = false;
        bool lines = false;
        bool more = members.next();
        while (more) {
            const QVariant time = members.value(2);
            batch.append(members.value(0).toLongLong());
            batch.append(members.value(1).toInt());
            batch.append(time.isNull() ? QVariant(QVariant::LongLong) : time.toLongLong());
            batch.append(members.value(3).toLongLong());
            batch.append(members.value(4).toInt());
            batch.append(members.value(5).toInt());
            // What the server's history trigger settles: most records with a
            // date are in it, and it then leaves them as they are.
            batch.append(time.isNull() ? 0 : 1);
            if (members.value(7).isNull()) {
                bytes = true;
                batch.append(members.value(6).toByteArray());
                batch.append(QVariant(QVariant::String));
                batch.append(QVariant(QVariant::Int));
            } else {
                lines = true;
                batch.append(QVariant(QVariant::ByteArray));
                batch.append(members.value(7).toString());
                batch.append(members.value(8).toInt());
            }
            ++count;
            more = members.next();
            if (batch.size() == RecordsPerStatement * RecordValues || (!more && !batch.isEmpty())) {
                if (!sendBatch(batch, serial, serverId, failure))
                    return Sent::Failed;
                batch.clear();
                if (progress.cancelled())
                    return Sent::Cancelled;
            }
        }
        if (members.lastError().isValid())
            return localFailure(members, failure);
        if ((bytes && !supersedeLines(serial, serverId, LinePairsFromBytes, failure)) ||
            (lines && !supersedeLines(serial, serverId, LinePairsFromLines, failure)))
            return Sent::Failed;
        slotCount = count;
        return Sent::Done;
    }

    // An imported line and the module's bytes of the same record may have
    // come from two PCs and meet only here. The server cannot render, so
    // this PC does, under the station's lock, and tells the server which of
    // the lines the bytes render to exactly: those leave the history.
    bool supersedeLines(qint64 serial, qint64 serverId, const QString &pairStatement,
                        Failure &failure)
    {
        QSqlQuery pairs(server.connection());
        pairs.setForwardOnly(true);
        pairs.prepare(pairStatement);
        pairs.addBindValue(serverId);
        pairs.addBindValue(serial);
        if (!pairs.exec()) {
            failure.error = pairs.lastError().text();
            return false;
        }
        QSet<qint64> matched;
        while (pairs.next())
            if (renderedLine(pairs.value(3).toByteArray(), pairs.value(2).toInt(),
                             pairs.value(4).toInt() != 0) == pairs.value(1).toString())
                matched.insert(pairs.value(0).toLongLong());
        if (pairs.lastError().isValid()) {
            failure.error = pairs.lastError().text();
            return false;
        }
        pairs.finish();
        if (matched.isEmpty())
            return true;
        // The ids go as one array literal of numbers, bound as a parameter.
        QStringList ids;
        ids.reserve(matched.size());
        for (qint64 id : matched)
            ids.append(QString::number(id));
        QSqlQuery take(server.connection());
        take.prepare("SELECT talvik_superseded_lines(?::bigint, ?::bigint[])");
        take.addBindValue(serial);
        take.addBindValue(QLatin1Char('{') + ids.join(QLatin1Char(',')) + QLatin1Char('}'));
        if (!take.exec()) {
            failure.error = take.lastError().text();
            return false;
        }
        return true;
    }

    bool sendBatch(const QVector<QVariant> &batch, qint64 serial, qint64 serverId, Failure &failure)
    {
        const int rows = batch.size() / RecordValues;
        // The statement for a whole batch is prepared once per sync; the
        // last, shorter batch of a download has one of its own.
        std::unique_ptr<QSqlQuery> partial;
        if (rows != RecordsPerStatement || !full) {
            std::unique_ptr<QSqlQuery> &prepared = rows == RecordsPerStatement ? full : partial;
            prepared.reset(new QSqlQuery(server.connection()));
            if (!prepared->prepare(recordsStatement(rows))) {
                failure.error = prepared->lastError().text();
                return false;
            }
        }
        QSqlQuery &query = rows == RecordsPerStatement ? *full : *partial;
        for (const QVariant &value : batch)
            query.addBindValue(value);
        query.addBindValue(serial);
        query.addBindValue(serverId);
        query.addBindValue(serial);
        query.addBindValue(serial);
        if (!query.exec()) {
            failure.error = query.lastError().text();
            return false;
        }
        return true;
    }

    Database &local;
    Database &server;
    const SyncOptions &options;
    OperationProgress &progress;
    std::unique_ptr<QSqlQuery> full;
};

// One server transaction: the station's row, as far as the server lacks
// it, then what rows() adds; all or nothing.
bool sendForStation(Database &local, QSqlDatabase &server, const QVariant &serial,
                    const std::function<bool(QString &error)> &rows, Failure &failure)
{
    QVector<QVariant> stationRow;
    if (!localStations(local.connection(), serial, stationRow, failure.error)) {
        failure.location = local.location();
        return false;
    }
    if (!server.transaction()) {
        failure.error = server.lastError().text();
        return false;
    }
    qint64 ignored = 0;
    if (!insertRows(server, StationHead, StationRow, StationTail, 3, stationRow, ignored,
                    failure.error) ||
        !rows(failure.error)) {
        server.rollback();
        return false;
    }
    if (!server.commit()) {
        failure.error = server.lastError().text();
        return false;
    }
    return true;
}

// The configurations the server lacks, one transaction per station.
bool sendConfigurations(Database &local, QSqlDatabase &server, const SyncOptions &options,
                        qint64 &sent, Failure &failure)
{
    QSqlQuery query(local.connection());
    query.setForwardOnly(true);
    if (!query.exec("SELECT uid, serial, recorded_at, direction, program, host, user_name, "
                    "settings FROM configurations ORDER BY serial, id")) {
        failure = {local.location(), query.lastError().text()};
        return false;
    }
    QStringList uids;
    QVector<QVector<QVariant>> rows;
    while (query.next()) {
        QVector<QVariant> row;
        for (int column = 0; column < 8; ++column)
            row.append(query.value(column));
        if (!options.withNames)
            row[5] = row[6] = QVariant(QVariant::String);
        uids.append(row[0].toString());
        rows.append(row);
    }
    query.finish();
    QSet<QString> present;
    if (!presentOnServer(server, "configurations", uids, present, failure.error))
        return false;
    QMap<qint64, QVector<QVariant>> byStation;
    for (const QVector<QVariant> &row : rows)
        if (!present.contains(row[0].toString()))
            byStation[row[1].toLongLong()] += row;
    for (auto station = byStation.cbegin(); station != byStation.cend(); ++station) {
        const auto configurations = [&](QString &error) {
            return insertRows(server,
                              "INSERT INTO configurations (uid, serial, recorded_at, direction, "
                              "program, host, user_name, settings) VALUES ",
                              "(?::text, ?::bigint, ?::bigint, ?::text, ?::text, ?::text, "
                              "?::text, ?::text)",
                              " ON CONFLICT (uid) DO NOTHING", 8, station.value(), sent, error);
        };
        if (!sendForStation(local, server, station.key(), configurations, failure))
            return false;
    }
    return true;
}
// The server's count of actions for each of the visits it holds.
bool serverActionCounts(QSqlDatabase &server, const QStringList &uids, QMap<QString, int> &counts,
                        QString &error)
{
    for (int first = 0; first < uids.size(); first += KeysPerLookup) {
        const int count = qMin(KeysPerLookup, uids.size() - first);
        QSqlQuery lookup(server);
        lookup.setForwardOnly(true);
        if (!lookup.prepare(QStringLiteral("SELECT v.uid, COUNT(a.seq) FROM visits v LEFT JOIN "
                                           "visit_actions a ON a.visit_uid = v.uid WHERE v.uid "
                                           "IN (%1) GROUP BY v.uid")
                                .arg(repeated("?", count)))) {
            error = lookup.lastError().text();
            return false;
        }
        for (int i = first; i < first + count; ++i)
            lookup.addBindValue(uids[i]);
        if (!lookup.exec()) {
            error = lookup.lastError().text();
            return false;
        }
        while (lookup.next())
            counts.insert(lookup.value(0).toString(), lookup.value(1).toInt());
    }
    return true;
}

// A visit's actions as the server gets them: without the names and the
// notes, and with file names without their folders, unless the user said
// that names may leave this PC.
QVector<QVariant> actionRowsToSend(QSqlDatabase &local, const QVariant &visitId, const QString &uid,
                                   bool withNames, QString &error)
{
    QSqlQuery query(local);
    query.prepare("SELECT seq, at, action, failure, details FROM visit_actions WHERE visit_id = ? "
                  "ORDER BY seq");
    query.addBindValue(visitId);
    QVector<QVariant> rows;
    if (!query.exec()) {
        error = query.lastError().text();
        return rows;
    }
    while (query.next()) {
        QString details = query.value(4).toString();
        if (!withNames) {
            if (query.value(2).toString() == QLatin1String(action::Note))
                continue;
            QJsonObject object = QJsonDocument::fromJson(details.toUtf8()).object();
            if (object.contains("file")) {
                object.insert("file", QFileInfo(object.value("file").toString()).fileName());
                details = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
            }
        }
        rows << uid << query.value(0) << query.value(1) << query.value(2) << query.value(3)
             << details;
    }
    return rows;
}

// The visits and actions the server lacks, one transaction per visit.
bool sendVisits(Database &local, QSqlDatabase &server, const SyncOptions &options, qint64 &sent,
                Failure &failure)
{
    QSqlQuery query(local.connection());
    query.setForwardOnly(true);
    if (!query.exec("SELECT v.id, v.uid, v.serial, v.kind, v.started_at, v.program, v.version, "
                    "v.host, v.user_name, v.id_text, (SELECT COUNT(*) FROM visit_actions a "
                    "WHERE a.visit_id = v.id) FROM visits v ORDER BY v.id")) {
        failure = {local.location(), query.lastError().text()};
        return false;
    }
    struct LocalVisit {
        QVariant id;
        QVector<QVariant> row;
        int actions;
    };
    std::vector<LocalVisit> visits;
    QStringList uids;
    while (query.next()) {
        LocalVisit visit{query.value(0), {}, query.value(10).toInt()};
        for (int column = 1; column < 10; ++column)
            visit.row.append(query.value(column));
        if (!options.withNames)
            visit.row[6] = visit.row[7] = QVariant(QVariant::String);
        uids.append(visit.row[0].toString());
        visits.push_back(visit);
    }
    query.finish();
    QMap<QString, int> onServer;
    if (!serverActionCounts(server, uids, onServer, failure.error))
        return false;
    for (const LocalVisit &visit : visits) {
        const QString uid = visit.row[0].toString();
        if (onServer.contains(uid) && onServer.value(uid) >= visit.actions)
            continue;
        const QVector<QVariant> actions =
            actionRowsToSend(local.connection(), visit.id, uid, options.withNames, failure.error);
        if (!failure.error.isEmpty()) {
            failure.location = local.location();
            return false;
        }
        const auto visitRows = [&](QString &error) {
            qint64 ignored = 0;
            return insertRows(server,
                              "INSERT INTO visits (uid, serial, kind, started_at, program, "
                              "version, host, user_name, id_text) VALUES ",
                              "(?::text, ?::bigint, ?::text, ?::bigint, ?::text, ?::text, "
                              "?::text, ?::text, ?::text)",
                              " ON CONFLICT (uid) DO NOTHING", 9, visit.row, sent, error) &&
                   insertRows(server,
                              "INSERT INTO visit_actions (visit_uid, seq, at, action, failure, "
                              "details) VALUES ",
                              "(?::text, ?::integer, ?::bigint, ?::text, ?::text, ?::text)",
                              " ON CONFLICT (visit_uid, seq) DO NOTHING", 6, actions, ignored,
                              error);
        };
        if (!sendForStation(local, server, visit.row[1], visitRows, failure))
            return false;
    }
    return true;
}
} // namespace

OperationResult syncArchive(Database &local, Database &server, const SyncOptions &options,
                            OperationProgress &progress, SyncSummary &summary)
{
    Failure failure{server.location(), QString()};
    const auto failed = [&]() {
        progress.finish();
        return databaseFailure(failure.location, failure.error);
    };
    if (!sendStations(local, server.connection(), failure))
        return failed();

    QSqlQuery list(local.connection());
    list.setForwardOnly(true);
    if (!list.exec("SELECT id, uid FROM downloads ORDER BY id")) {
        failure = {local.location(), list.lastError().text()};
        return failed();
    }
    QVector<qint64> ids;
    QStringList uids;
    while (list.next()) {
        ids.append(list.value(0).toLongLong());
        uids.append(list.value(1).toString());
    }
    list.finish();
    QSet<QString> present;
    if (!presentOnServer(server.connection(), "downloads", uids, present, failure.error))
        return failed();
    QVector<qint64> missing;
    for (int i = 0; i < ids.size(); ++i)
        if (!present.contains(uids[i]))
            missing.append(ids[i]);

    SyncSummary done;
    progress.setLabel(tr("Syncing the archive"));
    progress.setRange(0, missing.size());
    DownloadSender sender(local, server, options, progress);
    for (int i = 0; i < missing.size(); ++i) {
        progress.setValue(i);
        qint64 slotCount = 0;
        switch (sender.send(missing[i], slotCount, failure)) {
        case Sent::Done:
            ++done.downloads;
            done.records += slotCount;
            break;
        case Sent::AlreadyThere:
            ++done.alreadyThere;
            break;
        case Sent::Gone:
            break;
        case Sent::Cancelled:
            progress.finish();
            summary = done;
            return stopped(done.downloads);
        case Sent::Failed:
            summary = done;
            return failed();
        }
        if (progress.cancelled()) {
            progress.finish();
            summary = done;
            return stopped(done.downloads);
        }
    }
    if (!sendConfigurations(local, server.connection(), options, done.configurations, failure) ||
        !sendVisits(local, server.connection(), options, done.visits, failure)) {
        summary = done;
        return failed();
    }
    // What the board shows of each station's last week, for the stations
    // whose records changed since it was last judged.
    const OperationResult judged = keepStaleHealth(server);
    if (judged.failed()) {
        progress.finish();
        summary = done;
        return judged;
    }
    progress.setValue(missing.size());
    progress.finish();
    summary = done;
    return OperationResult::success();
}

} // namespace archive
