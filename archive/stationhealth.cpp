#include "archive/stationhealth.h"

#include "archive/archivedatabase.h"
#include "archive/stationhistory.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>
#include <vector>

namespace archive
{

namespace
{

// The kinds of finding, worst first: what takes the station off the air,
// then what makes its values wrong, then what loses or misplaces them, and
// last what only marks the transfer. A kind not listed ranks after these.
const char *const WorstFirst[] = {
    "battery-falling", // the station goes dark within days unless somebody comes
    "range",           // a value no sensor reads: a broken sensor or its wiring
    "stuck",           // a sensor that stopped
    "error-records",   // the module itself reports faults
    "gap",             // measurements lost
    "time-backwards",  // the clock misplaces them
    "no-time",
    "duplicates", // the transfer, not the station
    "checksum",
    "cut-line",
};

int rank(const QString &rule)
{
    int at = 0;
    for (const char *kind : WorstFirst) {
        if (rule == QLatin1String(kind))
            return at;
        ++at;
    }
    return at;
}

QVariant orNull(double value)
{
    return std::isfinite(value) ? QVariant(value) : QVariant(QVariant::Double);
}

// Measures one station at the summary's revision and keeps it, unless
// records came in meanwhile (then the next upkeep measures again).
bool measureAndKeep(Database &database, qint64 serial, qint64 revision, const QVariant &newest,
                    QString &error)
{
    StationHealth health;
    health.known = true;
    const OperationResult measured =
        newest.isNull()
            ? OperationResult::success()
            : measureStationHealth(database, quint32(serial), newest.toLongLong(), health);
    if (measured.failed()) {
        error = measured.message();
        return false;
    }
    const QVariantList facts = {QVariant(health.findings),
                                health.worst.isEmpty() ? QVariant(QVariant::String)
                                                       : QVariant(health.worst),
                                orNull(health.battery), orNull(health.batteryPerDay)};
    const QVariantList station = {QVariant(serial), QVariant(revision)};
    QSqlQuery keep(database.connection());
    if (database.isServer())
        keep.prepare("SELECT talvik_keep_station_health(?, ?, ?, ?, ?, ?)");
    else
        keep.prepare("UPDATE station_summaries SET health_revision = revision, findings = ?,"
                     " worst_finding = ?, battery = ?, battery_per_day = ?"
                     " WHERE serial = ? AND revision = ?");
    for (const QVariant &value : database.isServer() ? station + facts : facts + station)
        keep.addBindValue(value);
    if (keep.exec())
        return true;
    error = keep.lastError().text();
    return false;
}

} // namespace

void judgeFindings(const HealthCheck::Report &report, StationHealth &health)
{
    health.findings = 0;
    health.worst.clear();
    int worstRank = 0;
    for (const HealthCheck::Finding &finding : report.findings) {
        if (!finding.needsLook)
            continue;
        ++health.findings;
        const int r = rank(finding.rule);
        if (health.worst.isEmpty() || r < worstRank) {
            worstRank = r;
            health.worst = finding.column.isEmpty()
                               ? finding.rule
                               : QStringLiteral("%1 (%2)").arg(finding.rule, finding.column);
        }
    }
}

OperationResult measureStationHealth(Database &database, quint32 serial, qint64 newest,
                                     StationHealth &health)
{
    LogReader::Log log;
    const OperationResult read =
        readHistory(database, serial, newest - HealthWindowSeconds, newest, log);
    if (read.failed())
        return read;
    StationHealth measured;
    measured.known = true;
    judgeFindings(HealthCheck::check(log), measured);
    const HealthCheck::BatteryState battery = HealthCheck::batteryState(log);
    measured.battery = battery.voltage;
    measured.batteryPerDay = battery.perDay;
    health = measured;
    return OperationResult::success();
}

bool keepStationHealth(Database &database, qint64 serial, QString &error)
{
    QSqlQuery revision(database.connection());
    revision.prepare("SELECT revision, last_record_time FROM station_summaries WHERE serial = ?");
    revision.addBindValue(serial);
    if (!revision.exec()) {
        error = revision.lastError().text();
        return false;
    }
    if (!revision.next())
        return true; // a station without a summary has nothing to judge
    const qint64 at = revision.value(0).toLongLong();
    const QVariant newest = revision.value(1);
    revision.finish();
    return measureAndKeep(database, serial, at, newest, error);
}

OperationResult keepStaleHealth(Database &database)
{
    QSqlQuery stale(database.connection());
    if (!stale.exec("SELECT serial, revision, last_record_time FROM station_summaries"
                    " WHERE health_revision IS NULL OR health_revision <> revision"))
        return databaseFailure(database.location(), stale.lastError().text());
    struct Stale {
        qint64 serial;
        qint64 revision;
        QVariant newest;
    };
    std::vector<Stale> found;
    while (stale.next())
        found.push_back({stale.value(0).toLongLong(), stale.value(1).toLongLong(), stale.value(2)});
    stale.finish();
    QString error;
    for (const Stale &station : found)
        if (!measureAndKeep(database, station.serial, station.revision, station.newest, error))
            return databaseFailure(database.location(), error);
    return OperationResult::success();
}

QString batteryText(double volts)
{
    return std::isfinite(volts) ? QStringLiteral("%1 V").arg(volts, 0, 'f', 2)
                                : QStringLiteral("-");
}

QString trendText(double voltsPerDay)
{
    if (!std::isfinite(voltsPerDay))
        return QStringLiteral("-");
    const QString number = QString::number(voltsPerDay, 'f', 3);
    return (voltsPerDay >= 0 ? QStringLiteral("+") : QString()) + number + QStringLiteral(" V/day");
}

} // namespace archive
