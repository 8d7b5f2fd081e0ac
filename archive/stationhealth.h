#ifndef STATIONHEALTH_H
#define STATIONHEALTH_H

#include "core/operationresult.h"
#include "log/healthcheck.h"

#include <QString>
#include <QtGlobal>

#include <limits>

// What the stations board shows of a station's last week of records: the
// health check's findings and the battery. It is kept with the station's
// summary whenever records arrive or go, so that the board never reads the
// records themselves.
namespace archive
{

class Database;

// The week counted back from the station's newest record (module's clock).
constexpr qint64 HealthWindowSeconds = 7 * 86400;

struct StationHealth {
    bool known = false; // measured on the station's current records
    int findings = 0;   // findings that need a look
    QString worst;      // the worst of them, "stuck (Air Temperature)"; empty without any
    double battery = std::numeric_limits<double>::quiet_NaN();       // V, the newest reading
    double batteryPerDay = std::numeric_limits<double>::quiet_NaN(); // V a day
};

// The findings a technician should look at: how many, and the worst kind.
void judgeFindings(const HealthCheck::Report &report, StationHealth &health);

// Reads the week of the station's records up to its newest (seconds, the
// module's clock) and judges it.
OperationResult measureStationHealth(Database &database, quint32 serial, qint64 newest,
                                     StationHealth &health);

// Measures the station and keeps the result with its summary, inside the
// transaction that changed its records (the local archive).
bool keepStationHealth(Database &database, qint64 serial, QString &error);

// Measures every station whose kept health is older than its records: a
// network's server after a sync brought records (the sync role keeps them
// through a function of the owner's), or an archive brought up from a
// version that kept none.
OperationResult keepStaleHealth(Database &database);

// "12.41 V", "-0.062 V/day"; "-" when unknown.
QString batteryText(double volts);
QString trendText(double voltsPerDay);

} // namespace archive

#endif
