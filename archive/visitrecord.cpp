#include "archive/visitrecord.h"

#include "archive/archivedatabase.h"
#include "archive/ingest.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUuid>
#include <QVariant>

#include <map>

#include <pwd.h>
#include <unistd.h>

namespace archive
{

namespace
{
QString tr(const char *text)
{
    return QCoreApplication::translate("Talvik", text);
}

// The login name: USER as a shell sets it, else the password database's,
// since a timer or a desktop launcher may start us without USER.
QString thisUser()
{
    const QString user = qEnvironmentVariable("USER");
    if (!user.isEmpty())
        return user;
    const passwd *entry = ::getpwuid(::getuid());
    return entry != nullptr ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

OperationResult failureOf(Database &database, const QSqlQuery &query)
{
    return databaseFailure(database.location(), query.lastError().text());
}

const char *const VisitColumns =
    "SELECT id, uid, serial, kind, started_at, program, version, host, user_name, id_text "
    "FROM visits ";

Visit visitOf(const QSqlQuery &row)
{
    Visit visit;
    visit.id = row.value(0).toLongLong();
    visit.facts.uid = row.value(1).toString();
    visit.facts.serial = quint32(row.value(2).toLongLong());
    visit.facts.collection = row.value(3).toString() == QLatin1String("collection");
    visit.facts.startedAt = row.value(4).toLongLong();
    visit.facts.program = row.value(5).toString();
    visit.facts.version = row.value(6).toString();
    visit.facts.host = row.value(7).toString();
    visit.facts.user = row.value(8).toString();
    visit.facts.idText = row.value(9).toString();
    return visit;
}

// The actions of the visits in the map, in their order.
OperationResult loadActions(Database &database, const QString &condition, const QVariant &bound,
                            std::map<qint64, Visit *> &visits)
{
    QSqlQuery query(database.connection());
    query.prepare("SELECT visit_id, seq, at, action, failure, details FROM visit_actions WHERE " +
                  condition + " ORDER BY visit_id, seq");
    query.addBindValue(bound);
    if (!query.exec())
        return failureOf(database, query);
    while (query.next()) {
        const auto visit = visits.find(query.value(0).toLongLong());
        if (visit == visits.end())
            continue;
        VisitAction action;
        action.sequence = query.value(1).toInt();
        action.at = query.value(2).toLongLong();
        action.name = query.value(3).toString();
        action.failure = query.value(4).toString();
        action.details = QJsonDocument::fromJson(query.value(5).toString().toUtf8()).object();
        visit->second->actions.push_back(action);
    }
    return OperationResult::success();
}
} // namespace

VisitFacts visitFactsFor(quint32 serial, const QString &idText, const QString &program,
                         bool collection)
{
    VisitFacts facts;
    facts.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    facts.serial = serial;
    facts.collection = collection;
    facts.startedAt = QDateTime::currentMSecsSinceEpoch();
    facts.program = program;
    facts.version = QStringLiteral(TALVIK_VERSION);
    facts.host = QSysInfo::machineHostName();
    facts.user = thisUser();
    facts.idText = idText;
    return facts;
}

OperationResult startVisit(Database &database, const VisitFacts &facts, qint64 &visitId)
{
    QSqlDatabase &db = database.connection();
    if (!db.transaction())
        return databaseFailure(database.location(), db.lastError().text());
    QSqlQuery insert(db);
    insert.prepare("INSERT INTO visits (uid, serial, kind, started_at, program, version, host, "
                   "user_name, id_text) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.addBindValue(facts.uid);
    insert.addBindValue(qint64(facts.serial));
    insert.addBindValue(facts.collection ? "collection" : "visit");
    insert.addBindValue(facts.startedAt);
    insert.addBindValue(facts.program);
    insert.addBindValue(facts.version);
    insert.addBindValue(facts.host);
    insert.addBindValue(facts.user);
    insert.addBindValue(facts.idText);
    QString error;
    if (!markContact(db, facts.serial, facts.startedAt, error) || !insert.exec()) {
        if (error.isEmpty())
            error = insert.lastError().text();
        db.rollback();
        return databaseFailure(database.location(), error);
    }
    const qint64 id = insert.lastInsertId().toLongLong();
    if (!db.commit())
        return databaseFailure(database.location(), db.lastError().text());
    visitId = id;
    return OperationResult::success();
}

OperationResult addVisitAction(Database &database, qint64 visitId, const VisitAction &action)
{
    QSqlQuery insert(database.connection());
    insert.prepare("INSERT INTO visit_actions (visit_id, seq, at, action, failure, details) "
                   "SELECT ?, COALESCE(MAX(seq), 0) + 1, ?, ?, ?, ? FROM visit_actions "
                   "WHERE visit_id = ?");
    insert.addBindValue(visitId);
    insert.addBindValue(action.at);
    insert.addBindValue(action.name);
    insert.addBindValue(action.failure.isEmpty() ? QVariant(QVariant::String) : action.failure);
    insert.addBindValue(
        QString::fromUtf8(QJsonDocument(action.details).toJson(QJsonDocument::Compact)));
    insert.addBindValue(visitId);
    if (!insert.exec())
        return failureOf(database, insert);
    return OperationResult::success();
}

OperationResult listVisits(Database &database, quint32 serial, std::vector<Visit> &visits)
{
    QSqlQuery query(database.connection());
    query.prepare(QString(VisitColumns) + "WHERE serial = ? ORDER BY started_at, id");
    query.addBindValue(qint64(serial));
    if (!query.exec())
        return failureOf(database, query);
    std::vector<Visit> found;
    while (query.next())
        found.push_back(visitOf(query));
    std::map<qint64, Visit *> byId;
    for (Visit &visit : found)
        byId[visit.id] = &visit;
    const OperationResult actions = loadActions(
        database, "visit_id IN (SELECT id FROM visits WHERE serial = ?)", qint64(serial), byId);
    if (actions.failed())
        return actions;
    visits = std::move(found);
    return OperationResult::success();
}

OperationResult loadVisit(Database &database, qint64 visitId, Visit &visit)
{
    QSqlQuery query(database.connection());
    query.prepare(QString(VisitColumns) + "WHERE id = ?");
    query.addBindValue(visitId);
    if (!query.exec())
        return failureOf(database, query);
    if (!query.next())
        return OperationResult::failure(
            OperationResult::Reason::File,
            tr("The archive %1 holds no visit %2.").arg(database.location()).arg(visitId));
    Visit found = visitOf(query);
    std::map<qint64, Visit *> byId{{found.id, &found}};
    const OperationResult actions = loadActions(database, "visit_id = ?", visitId, byId);
    if (actions.failed())
        return actions;
    visit = std::move(found);
    return OperationResult::success();
}

OperationResult archivedRecordCount(Database &database, quint32 serial, qint64 &count)
{
    if (!historyRecordCount(database.connection(), serial, count))
        return databaseFailure(database.location(), database.connection().lastError().text());
    return OperationResult::success();
}

} // namespace archive
