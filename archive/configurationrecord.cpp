#include "archive/configurationrecord.h"

#include "archive/archivedatabase.h"
#include "archive/ingest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace archive
{

QJsonObject keptSettings(const config::Configuration &configuration)
{
    QJsonObject settings;
    for (const config::Parameter &parameter : config::ParameterMap) {
        if (parameter.kind == config::Kind::Password)
            continue;
        const QString key = config::Configuration::keyOf(parameter);
        settings.insert(key, configuration.value(key));
    }
    return settings;
}

OperationResult recordConfiguration(Database &database, const ConfigurationFacts &facts,
                                    const config::Configuration &configuration)
{
    const QJsonObject settings = keptSettings(configuration);
    QSqlDatabase &db = database.connection();
    if (!db.transaction())
        return databaseFailure(database.location(), db.lastError().text());
    QSqlQuery insert(db);
    insert.prepare("INSERT INTO configurations (uid, serial, recorded_at, direction, program, "
                   "host, user_name, settings) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    insert.addBindValue(QUuid::createUuid().toString(QUuid::WithoutBraces));
    insert.addBindValue(qint64(facts.serial));
    insert.addBindValue(facts.recordedAt);
    insert.addBindValue(facts.direction == ConfigurationDirection::Read ? "read" : "written");
    insert.addBindValue(facts.program);
    insert.addBindValue(facts.host);
    insert.addBindValue(facts.user);
    insert.addBindValue(QString::fromUtf8(QJsonDocument(settings).toJson(QJsonDocument::Compact)));
    QString error;
    if (!markContact(db, facts.serial, facts.recordedAt, error) || !insert.exec()) {
        if (error.isEmpty())
            error = insert.lastError().text();
        db.rollback();
        return databaseFailure(database.location(), error);
    }
    if (!db.commit())
        return databaseFailure(database.location(), db.lastError().text());
    return OperationResult::success();
}

OperationResult latestConfiguration(Database &database, quint32 serial,
                                    QMap<QString, QString> &settings)
{
    QSqlQuery query(database.connection());
    query.prepare("SELECT settings FROM configurations WHERE serial = ? "
                  "ORDER BY recorded_at DESC, id DESC LIMIT 1");
    query.addBindValue(qint64(serial));
    if (!query.exec())
        return databaseFailure(database.location(), query.lastError().text());
    QMap<QString, QString> found;
    if (query.next()) {
        const QJsonObject object =
            QJsonDocument::fromJson(query.value(0).toString().toUtf8()).object();
        for (auto item = object.begin(); item != object.end(); ++item)
            found.insert(item.key(), item.value().toString());
    }
    settings = found;
    return OperationResult::success();
}

} // namespace archive
