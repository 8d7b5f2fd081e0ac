#ifndef ARCHIVEDATABASE_H
#define ARCHIVEDATABASE_H

#include "core/operationresult.h"

#include <QSqlDatabase>
#include <QString>

#include <memory>

// The archive's database: the tables, their version, and one connection.
// Nothing here touches a widget; the window and talvik-cli share it.
namespace archive
{

// The layout of the tables. An archive written by a newer Talvik is refused;
// an older one is brought up to this version in one transaction.
constexpr int SchemaVersion = 3;

// What a connection to a network's PostgreSQL server is for. Reading takes a
// read-only session; only the owner's init makes or upgrades the tables.
enum class ServerUse { Read, Sync, Init };

class Database
{
public:
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens the local SQLite file, making it (readable by its user only) and
    // its folder when they are not there yet. Write-ahead logging and a busy
    // timeout let the window and a timer's talvik-cli use it at once.
    static OperationResult openLocal(const QString &path, std::unique_ptr<Database> &database);

    // Connects to a network's server, "postgresql://[user@]host[:port]/db
    // [?sslmode=...]". A password in the address is refused: libpq takes it
    // from its password or service file, or PGPASSWORD. The server's tables
    // must be at this Talvik's version, except for Init, which makes them or
    // brings them up to it.
    static OperationResult openServer(const QString &uri, ServerUse use,
                                      std::unique_ptr<Database> &database);
    // Whether the text names a server rather than a local file.
    static bool isServerAddress(const QString &text);
    // Why the address cannot be used (a password in it, an option the
    // driver cannot pass), without connecting; empty when it can.
    static QString serverAddressProblem(const QString &uri);

    QSqlDatabase &connection() { return db; }
    const QString &location() const { return where; }
    bool isServer() const { return server; }

private:
    Database(const QString &connectionName, const QString &location);
    OperationResult prepareSchema();

    const QString name;
    const QString where;
    QSqlDatabase db;
    bool server = false;
};

// "The archive ...: reason", for a failure of the database.
OperationResult databaseFailure(const QString &location, const QString &reason);

} // namespace archive

#endif
