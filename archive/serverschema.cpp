#include "archive/serverschema.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace archive
{

namespace
{
QString tr(const char *text)
{
    return QCoreApplication::translate("Talvik", text);
}

// Two owners running init at once wait for each other.
constexpr qint64 InitLock = -0x54414c56;

// Version 1: the local tables with the server's types. The functions run
// with their owner's rights (SECURITY DEFINER) and the search path of init,
// so the sync role needs no UPDATE right and cannot slip other tables in.
const char *const ServerSchemaV1[] = {
    "CREATE TABLE archive_schema (version INTEGER NOT NULL)",
    "CREATE TABLE stations ("
    " serial BIGINT PRIMARY KEY,"
    " first_contact BIGINT NOT NULL,"
    " last_contact BIGINT NOT NULL)",
    "CREATE TABLE station_names ("
    " serial BIGINT NOT NULL REFERENCES stations(serial),"
    " id_text TEXT NOT NULL,"
    " first_seen BIGINT NOT NULL,"
    " last_seen BIGINT NOT NULL,"
    " PRIMARY KEY (serial, id_text))",
    "CREATE TABLE downloads ("
    " id BIGSERIAL PRIMARY KEY,"
    " uid TEXT NOT NULL UNIQUE,"
    " serial BIGINT NOT NULL REFERENCES stations(serial),"
    " downloaded_at BIGINT NOT NULL,"
    " full_log INTEGER NOT NULL,"
    " host TEXT,"
    " user_name TEXT,"
    " record_count BIGINT NOT NULL,"
    " retry_count BIGINT NOT NULL,"
    " soil INTEGER NOT NULL,"
    " solvane INTEGER NOT NULL,"
    " globe1 INTEGER NOT NULL,"
    " globe2 INTEGER NOT NULL,"
    " file_name TEXT,"
    " software_version INTEGER,"
    " format_version INTEGER NOT NULL,"
    " source TEXT NOT NULL,"
    " measurement_header TEXT,"
    " system_header TEXT)",
    "CREATE INDEX downloads_station ON downloads (serial, downloaded_at)",
    // A station's records together by time: the key an extension for time
    // series or distribution would partition by. A record is either the
    // module's 128 bytes or, imported from a CSV file, its line with the
    // column groups of that file (-1 for the system file).
    "CREATE TABLE records ("
    " id BIGSERIAL PRIMARY KEY,"
    " serial BIGINT NOT NULL REFERENCES stations(serial),"
    " record_time BIGINT,"
    " record_index BIGINT NOT NULL,"
    " kind INTEGER NOT NULL,"
    " bad_checksum INTEGER NOT NULL,"
    " in_history INTEGER NOT NULL DEFAULT 0,"
    " bytes BYTEA,"
    " line TEXT,"
    " line_columns INTEGER,"
    " CHECK ((bytes IS NULL) <> (line IS NULL)),"
    " CHECK ((line IS NULL) = (line_columns IS NULL)),"
    " UNIQUE (serial, bytes))",
    // Only imported records have a line: the module's records, nearly all
    // of them, cost this index nothing.
    "CREATE UNIQUE INDEX records_line ON records (serial, line, line_columns)"
    " WHERE line IS NOT NULL",
    "CREATE INDEX records_history ON records (serial, record_time, record_index)",
    "CREATE TABLE download_records ("
    " download_id BIGINT NOT NULL REFERENCES downloads(id) ON DELETE CASCADE,"
    " slot INTEGER NOT NULL,"
    " record_id BIGINT NOT NULL REFERENCES records(id),"
    " bad_checksum INTEGER NOT NULL,"
    " PRIMARY KEY (download_id, slot))",
    "CREATE INDEX download_records_record ON download_records (record_id)",
    "CREATE TABLE configurations ("
    " id BIGSERIAL PRIMARY KEY,"
    " uid TEXT NOT NULL UNIQUE,"
    " serial BIGINT NOT NULL REFERENCES stations(serial),"
    " recorded_at BIGINT NOT NULL,"
    " direction TEXT NOT NULL,"
    " program TEXT NOT NULL,"
    " host TEXT,"
    " user_name TEXT,"
    " settings TEXT NOT NULL)",
    "CREATE INDEX configurations_station ON configurations (serial, recorded_at)",

    // A station or an ID text that is there already takes the wider span of
    // contact times instead of the new row, atomically also when two PCs
    // add the same station at once.
    "CREATE FUNCTION talvik_merge_station() RETURNS trigger LANGUAGE plpgsql"
    " SECURITY DEFINER SET search_path FROM CURRENT AS $$"
    " BEGIN"
    "  IF pg_trigger_depth() > 1 THEN RETURN NEW; END IF;"
    "  INSERT INTO stations (serial, first_contact, last_contact)"
    "   VALUES (NEW.serial, NEW.first_contact, NEW.last_contact)"
    "   ON CONFLICT (serial) DO UPDATE"
    "   SET first_contact = LEAST(stations.first_contact, excluded.first_contact),"
    "    last_contact = GREATEST(stations.last_contact, excluded.last_contact)"
    "   WHERE excluded.first_contact < stations.first_contact"
    "    OR excluded.last_contact > stations.last_contact;"
    "  RETURN NULL;"
    " END $$",
    "CREATE TRIGGER stations_merge BEFORE INSERT ON stations"
    " FOR EACH ROW EXECUTE FUNCTION talvik_merge_station()",
    "CREATE FUNCTION talvik_merge_station_name() RETURNS trigger LANGUAGE plpgsql"
    " SECURITY DEFINER SET search_path FROM CURRENT AS $$"
    " BEGIN"
    "  IF pg_trigger_depth() > 1 THEN RETURN NEW; END IF;"
    "  INSERT INTO station_names (serial, id_text, first_seen, last_seen)"
    "   VALUES (NEW.serial, NEW.id_text, NEW.first_seen, NEW.last_seen)"
    "   ON CONFLICT (serial, id_text) DO UPDATE"
    "   SET first_seen = LEAST(station_names.first_seen, excluded.first_seen),"
    "    last_seen = GREATEST(station_names.last_seen, excluded.last_seen)"
    "   WHERE excluded.first_seen < station_names.first_seen"
    "    OR excluded.last_seen > station_names.last_seen;"
    "  RETURN NULL;"
    " END $$",
    "CREATE TRIGGER station_names_merge BEFORE INSERT ON station_names"
    " FOR EACH ROW EXECUTE FUNCTION talvik_merge_station_name()",

    // The station's history, whatever a PC sent: a record with a date is in
    // it unless it is a checksum-marked copy of a record whose clean copy
    // (bytes or line) is there; a clean copy arriving later takes the marked
    // one's place. Whether module bytes render to an imported line only a
    // client can tell: talvik_superseded_lines takes its answer.
    "CREATE FUNCTION talvik_records_history() RETURNS trigger LANGUAGE plpgsql"
    " SECURITY DEFINER SET search_path FROM CURRENT AS $$"
    " BEGIN"
    "  UPDATE records r SET in_history = x.wanted FROM ("
    "   SELECT a.id, a.in_history, CASE WHEN a.record_time IS NULL THEN 0"
    "    WHEN a.bad_checksum = 1 AND EXISTS (SELECT 1 FROM records c"
    "     WHERE c.serial = a.serial AND c.record_time = a.record_time"
    "     AND c.record_index = a.record_index AND c.bad_checksum = 0) THEN 0"
    "    ELSE 1 END AS wanted FROM added a) x"
    "   WHERE r.id = x.id AND x.wanted <> x.in_history;"
    "  UPDATE records r SET in_history = 0 FROM added a"
    "   WHERE a.bad_checksum = 0 AND a.record_time IS NOT NULL"
    "   AND r.serial = a.serial AND r.record_time = a.record_time"
    "   AND r.record_index = a.record_index AND r.bad_checksum = 1 AND r.in_history = 1;"
    "  RETURN NULL;"
    " END $$",
    "CREATE TRIGGER records_history AFTER INSERT ON records REFERENCING NEW TABLE AS added"
    " FOR EACH STATEMENT EXECUTE FUNCTION talvik_records_history()",
    // The imported lines that a client found the module's bytes of the same
    // record to render to exactly leave the history. Only lines that have
    // such bytes on the server can be taken out, and nothing else changes.
    "CREATE FUNCTION talvik_superseded_lines(station BIGINT, line_ids BIGINT[])"
    " RETURNS BIGINT LANGUAGE sql SECURITY DEFINER SET search_path FROM CURRENT AS $$"
    " WITH taken AS (UPDATE records l SET in_history = 0"
    "  WHERE l.serial = station AND l.id = ANY (line_ids) AND l.line IS NOT NULL"
    "  AND l.in_history = 1 AND EXISTS (SELECT 1 FROM records b"
    "   WHERE b.serial = l.serial AND b.record_time = l.record_time"
    "   AND b.record_index = l.record_index AND b.bytes IS NOT NULL)"
    "  RETURNING 1)"
    " SELECT COUNT(*) FROM taken $$",
    // Functions are everyone's to call unless taken back; the README grants
    // this one to the sync role.
    "REVOKE ALL ON FUNCTION talvik_superseded_lines(BIGINT, BIGINT[]) FROM PUBLIC",
    "INSERT INTO archive_schema (version) VALUES (1)",
};

// Version 2: visits and collections with their actions. An action is keyed
// by its visit's uid and its place in it, so a sync adds the ones the
// server lacks without a sequence of its own.
const char *const ServerSchemaV2[] = {
    "CREATE TABLE visits ("
    " uid TEXT PRIMARY KEY,"
    " serial BIGINT NOT NULL REFERENCES stations(serial),"
    " kind TEXT NOT NULL,"
    " started_at BIGINT NOT NULL,"
    " program TEXT NOT NULL,"
    " version TEXT NOT NULL,"
    " host TEXT,"
    " user_name TEXT,"
    " id_text TEXT)",
    "CREATE INDEX visits_station ON visits (serial, started_at)",
    "CREATE TABLE visit_actions ("
    " visit_uid TEXT NOT NULL REFERENCES visits(uid),"
    " seq INTEGER NOT NULL,"
    " at BIGINT NOT NULL,"
    " action TEXT NOT NULL,"
    " failure TEXT,"
    " details TEXT NOT NULL,"
    " PRIMARY KEY (visit_uid, seq))",
    // What a list of the stations shows of their records, brought up to
    // them by each sync in the transaction of each download it sends, so
    // that the board never reads the records.
    "CREATE TABLE station_summaries ("
    " serial BIGINT PRIMARY KEY REFERENCES stations(serial),"
    " records BIGINT NOT NULL,"
    " first_record_time BIGINT,"
    " last_record_time BIGINT)",
    "INSERT INTO station_summaries (serial, records, first_record_time, last_record_time)"
    " SELECT serial, COUNT(*), MIN(record_time), MAX(record_time) FROM records"
    " WHERE in_history = 1 GROUP BY serial",
    "CREATE FUNCTION talvik_refresh_station(station BIGINT) RETURNS void LANGUAGE sql"
    " SECURITY DEFINER SET search_path FROM CURRENT AS $$"
    " INSERT INTO station_summaries (serial, records, first_record_time, last_record_time)"
    "  SELECT station, COUNT(*), MIN(record_time), MAX(record_time) FROM records"
    "  WHERE serial = station AND in_history = 1"
    " ON CONFLICT (serial) DO UPDATE SET records = excluded.records,"
    "  first_record_time = excluded.first_record_time,"
    "  last_record_time = excluded.last_record_time $$",
    "REVOKE ALL ON FUNCTION talvik_refresh_station(BIGINT) FROM PUBLIC",
    "INSERT INTO archive_schema (version) VALUES (2)",
};

// Version 3: the board's view of each station's last week of records, kept
// with its summary. Each refresh counts a revision; a syncing client reads
// the week, judges it, and keeps the result through
// talvik_keep_station_health, which takes it only for the revision it read.
const char *const ServerSchemaV3[] = {
    "ALTER TABLE station_summaries ADD COLUMN revision BIGINT NOT NULL DEFAULT 0,"
    " ADD COLUMN health_revision BIGINT, ADD COLUMN findings INTEGER,"
    " ADD COLUMN worst_finding TEXT, ADD COLUMN battery DOUBLE PRECISION,"
    " ADD COLUMN battery_per_day DOUBLE PRECISION",
    "CREATE OR REPLACE FUNCTION talvik_refresh_station(station BIGINT) RETURNS void"
    " LANGUAGE sql SECURITY DEFINER SET search_path FROM CURRENT AS $$"
    " INSERT INTO station_summaries (serial, records, first_record_time, last_record_time)"
    "  SELECT station, COUNT(*), MIN(record_time), MAX(record_time) FROM records"
    "  WHERE serial = station AND in_history = 1"
    " ON CONFLICT (serial) DO UPDATE SET records = excluded.records,"
    "  first_record_time = excluded.first_record_time,"
    "  last_record_time = excluded.last_record_time,"
    "  revision = station_summaries.revision + 1 $$",
    "CREATE FUNCTION talvik_keep_station_health(station BIGINT, measured_at BIGINT,"
    " found INTEGER, worst TEXT, volts DOUBLE PRECISION, per_day DOUBLE PRECISION)"
    " RETURNS void LANGUAGE sql SECURITY DEFINER SET search_path FROM CURRENT AS $$"
    " UPDATE station_summaries SET health_revision = revision, findings = found,"
    "  worst_finding = worst, battery = volts, battery_per_day = per_day"
    " WHERE serial = station AND revision = measured_at $$",
    "REVOKE ALL ON FUNCTION talvik_keep_station_health(BIGINT, BIGINT, INTEGER, TEXT,"
    " DOUBLE PRECISION, DOUBLE PRECISION) FROM PUBLIC",
    "INSERT INTO archive_schema (version) VALUES (3)",
};

bool run(QSqlDatabase &db, const QString &statement, QString &error)
{
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    error = query.lastError().text();
    return false;
}

// The version of the tables there, 0 when there are none.
bool serverVersion(QSqlDatabase &db, int &version, QString &error)
{
    QSqlQuery query(db);
    if (!query.exec("SELECT to_regclass('archive_schema') IS NOT NULL") || !query.next()) {
        error = query.lastError().text();
        return false;
    }
    if (!query.value(0).toBool()) {
        version = 0;
        return true;
    }
    if (!query.exec("SELECT MAX(version) FROM archive_schema") || !query.next()) {
        error = query.lastError().text();
        return false;
    }
    version = query.value(0).toInt();
    return true;
}

OperationResult newerRefused(const QString &location, int found)
{
    return databaseFailure(location, tr("it was made by a newer Talvik (archive version %1; this "
                                        "Talvik knows up to %2)")
                                         .arg(found)
                                         .arg(ServerSchemaVersion));
}

OperationResult initialise(QSqlDatabase &db, const QString &location)
{
    if (!db.transaction())
        return databaseFailure(location, db.lastError().text());
    const auto failed = [&](const QString &error) {
        db.rollback();
        return databaseFailure(location, error);
    };
    QString error;
    QSqlQuery lock(db);
    lock.prepare("SELECT pg_advisory_xact_lock(?)");
    lock.addBindValue(InitLock);
    if (!lock.exec())
        return failed(lock.lastError().text());
    int found = 0;
    if (!serverVersion(db, found, error))
        return failed(error);
    if (found > ServerSchemaVersion) {
        db.rollback();
        return newerRefused(location, found);
    }
    // The functions keep the schema the tables are made in, and nothing a
    // later session puts first in its search path.
    if (found < ServerSchemaVersion &&
        !run(db,
             "SELECT set_config('search_path', quote_ident(current_schema()) || ', pg_temp', "
             "true)",
             error))
        return failed(error);
    if (found == 0) {
        for (const char *statement : ServerSchemaV1)
            if (!run(db, QString::fromLatin1(statement), error))
                return failed(error);
    }
    // Later versions add their steps here, each from the one before.
    if (found < 2)
        for (const char *statement : ServerSchemaV2)
            if (!run(db, QString::fromLatin1(statement), error))
                return failed(error);
    if (found < 3)
        for (const char *statement : ServerSchemaV3)
            if (!run(db, QString::fromLatin1(statement), error))
                return failed(error);
    if (!db.commit())
        return failed(db.lastError().text());
    return OperationResult::success();
}
} // namespace

OperationResult prepareServerSchema(QSqlDatabase &db, const QString &location, ServerUse use)
{
    if (use == ServerUse::Init)
        return initialise(db, location);
    int found = 0;
    QString error;
    if (!serverVersion(db, found, error))
        return databaseFailure(location, error);
    if (found > ServerSchemaVersion)
        return newerRefused(location, found);
    if (found == 0)
        return databaseFailure(location, tr("it holds no Talvik archive yet; its owner makes one "
                                            "with 'talvik-cli archive init --to ADDRESS'"));
    if (found < ServerSchemaVersion)
        return databaseFailure(location, tr("it is at archive version %1; its owner brings it up "
                                            "to %2 with 'talvik-cli archive init --to ADDRESS'")
                                             .arg(found)
                                             .arg(ServerSchemaVersion));
    return OperationResult::success();
}

} // namespace archive
