#ifndef CONFIGURATIONRECORD_H
#define CONFIGURATIONRECORD_H

#include "config/configuration.h"
#include "core/operationresult.h"

#include <QJsonObject>
#include <QString>
#include <QtGlobal>

// Every configuration read from a module or written to it, kept with its
// station and time, so that later one can tell what a station was set to
// (its units) and what changed. Passwords are never kept.
namespace archive
{

class Database;

enum class ConfigurationDirection { Read, Written };

struct ConfigurationFacts {
    quint32 serial = 0;
    qint64 recordedAt = 0; // ms since 1970, this PC's clock
    ConfigurationDirection direction = ConfigurationDirection::Read;
    QString program; // "talvik" or "talvik-cli"
    QString host;
    QString user;
};

// The values kept of a configuration, by key: every one but the passwords.
QJsonObject keptSettings(const config::Configuration &configuration);

OperationResult recordConfiguration(Database &database, const ConfigurationFacts &facts,
                                    const config::Configuration &configuration);

// The settings of the latest configuration kept for the station, by file
// key; empty when there is none.
OperationResult latestConfiguration(Database &database, quint32 serial,
                                    QMap<QString, QString> &settings);

} // namespace archive

#endif
