#ifndef STATIONHISTORY_H
#define STATIONHISTORY_H

#include "archive/history.h"
#include "core/operationresult.h"
#include "log/logreader.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

// A station's history read back for the viewer: the records of a time range
// as the log reader gives a pair of files, and the unit each column was
// logged in, from the configurations the archive keeps.
namespace archive
{

class Database;

// The spans the viewer offers, counted back from the station's newest
// record.
enum class Span { Day, Week, Month, Year, All };

// The first second of the span ending at newest (the module's clock);
// NoLimit for All.
qint64 spanStart(Span span, qint64 newest);

// The history from..to (inclusive; NoLimit for either end) as a log: the
// measurements in the order of time and then Index, with the columns of
// every download that brought them, and the system records as events.
// Raw values as the records hold them; nothing is dropped or mended.
OperationResult readHistory(Database &database, quint32 serial, qint64 from, qint64 to,
                            LogReader::Log &log);

// A configuration the archive keeps: from when (seconds, this PC's clock)
// and its settings by file key.
struct ConfigurationAt {
    qint64 at = 0;
    QMap<QString, QString> settings;
};
// Every configuration kept for the station, oldest first.
OperationResult configurationHistory(Database &database, quint32 serial,
                                     std::vector<ConfigurationAt> &configurations);

// The unit a configuration sets for a column of the log, by its title;
// empty where the settings do not say (no configuration, a column whose
// unit no setting chooses, a sensor type without units).
QString configuredUnit(const QString &columnTitle, const QMap<QString, QString> &settings);

// The settings in force at a time: the last configuration read or written
// before it; empty when there is none.
const QMap<QString, QString> &settingsAt(const std::vector<ConfigurationAt> &configurations,
                                         qint64 time);

// What the viewer needs to know of a station before it reads its history.
struct StationSpan {
    bool known = false;     // the archive has the station
    qint64 first = NoLimit; // its oldest and newest record; NoLimit without any
    qint64 last = NoLimit;
    QStringList idTexts; // the latest first
};
OperationResult stationSpan(Database &database, quint32 serial, StationSpan &span);

// The station a download came from.
OperationResult downloadSerial(Database &database, qint64 downloadId, quint32 &serial);

} // namespace archive

#endif
