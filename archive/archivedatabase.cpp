#include "archive/archivedatabase.h"

#include "archive/serverschema.h"
#include "archive/stationhealth.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

#include <atomic>

namespace archive
{

namespace
{
// Long enough for the other program's largest transaction, a full store.
constexpr int BusyTimeoutMs = 10000;

QString tr(const char *text)
{
    return QCoreApplication::translate("Talvik", text);
}

// The tables of version 1. A record is kept once per station: the same 128
// bytes arriving again are the same row; which download brought it, in
// which slot and with which checksum mark, is download_records. A record
// imported from a CSV file is its line as the file has it, with the column
// groups that file was written with (line_columns: soil 1, Solvane 2, globe
// 1 4, globe 2 8; -1 for a line of the system file), since six significant
// digits cannot give the bytes back.
const char *const SchemaV1[] = {
    "CREATE TABLE archive_schema (version INTEGER NOT NULL)",
    "CREATE TABLE stations ("
    " serial INTEGER PRIMARY KEY,"
    " first_contact INTEGER NOT NULL,"
    " last_contact INTEGER NOT NULL)",
    "CREATE TABLE station_names ("
    " serial INTEGER NOT NULL REFERENCES stations(serial),"
    " id_text TEXT NOT NULL,"
    " first_seen INTEGER NOT NULL,"
    " last_seen INTEGER NOT NULL,"
    " PRIMARY KEY (serial, id_text))",
    "CREATE TABLE downloads ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " uid TEXT NOT NULL UNIQUE,"
    " serial INTEGER NOT NULL REFERENCES stations(serial),"
    " downloaded_at INTEGER NOT NULL,"
    " full_log INTEGER NOT NULL,"
    " host TEXT,"
    " user_name TEXT,"
    " record_count INTEGER NOT NULL,"
    " retry_count INTEGER NOT NULL,"
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
    "CREATE TABLE records ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " serial INTEGER NOT NULL REFERENCES stations(serial),"
    " record_time INTEGER,"
    " record_index INTEGER NOT NULL,"
    " kind INTEGER NOT NULL,"
    " bad_checksum INTEGER NOT NULL,"
    " in_history INTEGER NOT NULL,"
    " bytes BLOB,"
    " line TEXT,"
    " line_columns INTEGER,"
    " CHECK ((bytes IS NULL) <> (line IS NULL)),"
    " CHECK ((line IS NULL) = (line_columns IS NULL)),"
    " UNIQUE (serial, bytes),"
    " UNIQUE (serial, line, line_columns))",
    "CREATE INDEX records_history ON records (serial, record_time, record_index)"
    " WHERE in_history = 1",
    "CREATE TABLE download_records ("
    " download_id INTEGER NOT NULL REFERENCES downloads(id) ON DELETE CASCADE,"
    " slot INTEGER NOT NULL,"
    " record_id INTEGER NOT NULL REFERENCES records(id),"
    " bad_checksum INTEGER NOT NULL,"
    " PRIMARY KEY (download_id, slot))",
    "CREATE INDEX download_records_record ON download_records (record_id)",
    "CREATE TABLE configurations ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " uid TEXT NOT NULL UNIQUE,"
    " serial INTEGER NOT NULL REFERENCES stations(serial),"
    " recorded_at INTEGER NOT NULL,"
    " direction TEXT NOT NULL,"
    " program TEXT NOT NULL,"
    " host TEXT,"
    " user_name TEXT,"
    " settings TEXT NOT NULL)",
    "CREATE INDEX configurations_station ON configurations (serial, recorded_at)",
    "INSERT INTO archive_schema (version) VALUES (1)",
};

// Version 2 adds what was done to each station: a technician's visit with
// the window or one talvik-cli run (kind 'collection'), and its actions in
// order, each with its outcome (failure holds the message shown, NULL on
// success) and its facts as a JSON object.
const char *const SchemaV2[] = {
    "CREATE TABLE visits ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " uid TEXT NOT NULL UNIQUE,"
    " serial INTEGER NOT NULL REFERENCES stations(serial),"
    " kind TEXT NOT NULL,"
    " started_at INTEGER NOT NULL,"
    " program TEXT NOT NULL,"
    " version TEXT NOT NULL,"
    " host TEXT,"
    " user_name TEXT,"
    " id_text TEXT)",
    "CREATE INDEX visits_station ON visits (serial, started_at)",
    "CREATE TABLE visit_actions ("
    " visit_id INTEGER NOT NULL REFERENCES visits(id) ON DELETE CASCADE,"
    " seq INTEGER NOT NULL,"
    " at INTEGER NOT NULL,"
    " action TEXT NOT NULL,"
    " failure TEXT,"
    " details TEXT NOT NULL,"
    " PRIMARY KEY (visit_id, seq))",
    // What a list of the stations shows of their records, kept as records
    // arrive or go, so that listing stations never reads the records.
    "CREATE TABLE station_summaries ("
    " serial INTEGER PRIMARY KEY REFERENCES stations(serial),"
    " records INTEGER NOT NULL,"
    " first_record_time INTEGER,"
    " last_record_time INTEGER)",
    "INSERT INTO station_summaries (serial, records, first_record_time, last_record_time)"
    " SELECT serial, COUNT(*), MIN(record_time), MAX(record_time) FROM records"
    " WHERE in_history = 1 GROUP BY serial",
    "UPDATE archive_schema SET version = 2",
};

// Version 3 keeps the board's view of each station's last week of records
// with its summary: the findings that need a look, the worst of them, and
// the battery. revision counts the changes of the station's records;
// health_revision is the one the health was measured at.
const char *const SchemaV3[] = {
    "ALTER TABLE station_summaries ADD COLUMN revision INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE station_summaries ADD COLUMN health_revision INTEGER",
    "ALTER TABLE station_summaries ADD COLUMN findings INTEGER",
    "ALTER TABLE station_summaries ADD COLUMN worst_finding TEXT",
    "ALTER TABLE station_summaries ADD COLUMN battery REAL",
    "ALTER TABLE station_summaries ADD COLUMN battery_per_day REAL",
    "UPDATE archive_schema SET version = 3",
};

QString connectionName()
{
    static std::atomic<int> next{0};
    return QStringLiteral("talvik-archive-%1").arg(++next);
}

bool run(QSqlDatabase &db, const QString &statement, QString &error)
{
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    error = query.lastError().text();
    return false;
}

// A server address taken apart for Qt's PostgreSQL driver, which hands the
// parts to libpq as "keyword='value'" pairs.
struct ServerAddress {
    QString host;
    int port = -1;
    QString database;
    QString user;
    QString options; // libpq keywords, separated by ';' as the driver wants
};

// libpq's value quoting: backslash and quote escaped, the whole in quotes.
QString quotedOption(const QString &value)
{
    QString quoted = value;
    quoted.replace('\\', "\\\\").replace('\'', "\\'");
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

bool parseServerAddress(const QString &uri, ServerAddress &address, QString &error)
{
    const QUrl url(uri, QUrl::StrictMode);
    if (!url.isValid()) {
        error = tr("it is not a server address (%1); a socket folder goes in ?host=/path")
                    .arg(url.errorString());
        return false;
    }
    // Credentials stay in libpq's own files and environment, never in an
    // address that ends up in preferences, scripts and shell histories.
    if (url.userInfo().contains(':')) {
        error = tr("the address holds a password; put it in ~/.pgpass, a service file or "
                   "PGPASSWORD instead");
        return false;
    }
    address.host = url.host();
    address.port = url.port(-1);
    address.database = url.path(QUrl::FullyDecoded).mid(1);
    address.user = url.userName(QUrl::FullyDecoded);
    static const QRegularExpression keyword("^[a-z_]+$");
    QStringList options;
    bool timeout = false;
    for (const auto &item : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (item.first == "password") {
            error = tr("the address holds a password; put it in ~/.pgpass, a service file or "
                       "PGPASSWORD instead");
            return false;
        }
        // The driver splits its options at ';'.
        if (!keyword.match(item.first).hasMatch() || item.second.contains(';')) {
            error = tr("the address's option %1 cannot be used").arg(item.first);
            return false;
        }
        timeout = timeout || item.first == "connect_timeout";
        options.append(item.first + '=' + quotedOption(item.second));
    }
    // A field laptop whose server cannot be reached hears so soon.
    if (!timeout)
        options.append(QStringLiteral("connect_timeout=15"));
    address.options = options.join(';');
    return true;
}
} // namespace

OperationResult databaseFailure(const QString &location, const QString &reason)
{
    return OperationResult::failure(
        OperationResult::Reason::File,
        tr("The archive %1 cannot be used: %2").arg(QDir::toNativeSeparators(location), reason));
}

QString Database::serverAddressProblem(const QString &uri)
{
    if (!isServerAddress(uri))
        return tr("it is not a postgresql:// address");
    ServerAddress address;
    QString error;
    return parseServerAddress(uri, address, error) ? QString() : error;
}

Database::Database(const QString &connectionName, const QString &location)
    : name(connectionName), where(location)
{
}

Database::~Database()
{
    if (db.isOpen())
        db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

OperationResult Database::openLocal(const QString &path, std::unique_ptr<Database> &database)
{
    if (!QSqlDatabase::isDriverAvailable("QSQLITE"))
        return databaseFailure(path, tr("the SQLite driver of Qt is not installed"));
    const QFileInfo file(path);
    if (!QDir().mkpath(file.absolutePath()))
        return databaseFailure(path, tr("its folder cannot be made"));
    // Only its user reads the stations' data: made empty with those rights
    // before SQLite opens it.
    if (!file.exists()) {
        QFile created(path);
        if (!created.open(QIODevice::WriteOnly))
            return databaseFailure(path, created.errorString());
        created.close();
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    std::unique_ptr<Database> opened(new Database(connectionName(), path));
    opened->db = QSqlDatabase::addDatabase("QSQLITE", opened->name);
    opened->db.setDatabaseName(path);
    opened->db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    if (!opened->db.open())
        return databaseFailure(path, opened->db.lastError().text());
    QString error;
    if (!run(opened->db, "PRAGMA journal_mode=WAL", error) ||
        !run(opened->db, "PRAGMA foreign_keys=ON", error) ||
        !run(opened->db, "PRAGMA synchronous=NORMAL", error))
        return databaseFailure(path, error);
    const OperationResult schema = opened->prepareSchema();
    if (schema.failed())
        return schema;
    database = std::move(opened);
    return OperationResult::success();
}

bool Database::isServerAddress(const QString &text)
{
    return text.startsWith(QLatin1String("postgresql://")) ||
           text.startsWith(QLatin1String("postgres://"));
}

OperationResult Database::openServer(const QString &uri, ServerUse use,
                                     std::unique_ptr<Database> &database)
{
    if (!isServerAddress(uri))
        return databaseFailure(uri, tr("a server address begins with postgresql://"));
    ServerAddress address;
    QString error;
    if (!parseServerAddress(uri, address, error))
        return OperationResult::failure(OperationResult::Reason::Refused,
                                        tr("The archive %1 cannot be used: %2").arg(uri, error));
    if (!QSqlDatabase::isDriverAvailable("QPSQL"))
        return databaseFailure(uri, tr("the PostgreSQL driver of Qt is not installed "
                                       "(libqt5sql5-psql)"));
    std::unique_ptr<Database> opened(new Database(connectionName(), uri));
    opened->server = true;
    opened->db = QSqlDatabase::addDatabase("QPSQL", opened->name);
    opened->db.setHostName(address.host);
    if (address.port >= 0)
        opened->db.setPort(address.port);
    opened->db.setDatabaseName(address.database);
    opened->db.setUserName(address.user);
    opened->db.setConnectOptions(address.options);
    if (!opened->db.open())
        return databaseFailure(uri, opened->db.lastError().text());
    // Only a sync writes to a server, and only an owner's init changes it.
    if (use == ServerUse::Read &&
        !run(opened->db, "SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY", error))
        return databaseFailure(uri, error);
    const OperationResult schema = prepareServerSchema(opened->db, uri, use);
    if (schema.failed())
        return schema;
    // The owner's init judges the stations an older server holds at once,
    // rather than at the next sync.
    if (use == ServerUse::Init) {
        const OperationResult judged = keepStaleHealth(*opened);
        if (judged.failed())
            return judged;
    }
    database = std::move(opened);
    return OperationResult::success();
}

OperationResult Database::prepareSchema()
{
    int found = 0;
    if (db.tables().contains("archive_schema")) {
        QSqlQuery version(db);
        if (!version.exec("SELECT version FROM archive_schema") || !version.next())
            return databaseFailure(where, version.lastError().text());
        found = version.value(0).toInt();
        if (found > SchemaVersion)
            return databaseFailure(
                where, tr("it was written by a newer Talvik (archive version %1; this Talvik "
                          "knows up to %2)")
                           .arg(found)
                           .arg(SchemaVersion));
        if (found == SchemaVersion)
            return OperationResult::success();
    }
    // A new archive gets every table, an older one what its version lacks,
    // in one transaction, so a crash leaves it as it was.
    if (!db.transaction())
        return databaseFailure(where, db.lastError().text());
    QString error;
    const auto apply = [&](auto &steps) {
        for (const char *statement : steps)
            if (!run(db, QString::fromLatin1(statement), error))
                return false;
        return true;
    };
    if ((found < 1 && !apply(SchemaV1)) || (found < 2 && !apply(SchemaV2)) ||
        (found < 3 && !apply(SchemaV3))) {
        db.rollback();
        return databaseFailure(where, error);
    }
    // The stations an older archive holds are judged now, once.
    const OperationResult judged = keepStaleHealth(*this);
    if (judged.failed()) {
        db.rollback();
        return judged;
    }
    if (!db.commit())
        return databaseFailure(where, db.lastError().text());
    return OperationResult::success();
}

} // namespace archive
