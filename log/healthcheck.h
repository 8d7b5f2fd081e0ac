#ifndef HEALTHCHECK_H
#define HEALTHCHECK_H

#include "log/logreader.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <limits>
#include <vector>

// What a downloaded log says about the station: a summary of every column
// and the findings a technician should look at. The log viewer shows it,
// talvik-cli prints it; both word it the same.
namespace HealthCheck
{

// The numbers the rules use; healthcheck.cpp says where each comes from.
struct Limits {
    qint64 temperatureStuckSeconds;
    qint64 humidityStuckSeconds;
    qint64 humiditySaturatedSeconds; // held at humidityMaximum or above
    qint64 pressureStuckSeconds;
    qint64 windStuckSeconds;
    qint64 batteryStuckSeconds;
    double humidityMinimum, humidityMaximum;
    double directionMinimum, directionMaximum;
    double batteryMinimum, batteryMaximum;
    double inputMinimum, inputMaximum;
    double gapFactor;
    int batteryTrendDays;
    double batteryFallPerDay;
    double batteryFallingShare;
    int timesListed;
    // The largest change between neighbouring measurements spikeStepSeconds
    // apart or closer, in °C, %, hPa and m/s; a longer step allows
    // proportionally more.
    qint64 spikeStepSeconds;
    double temperatureSpike;
    double humiditySpike;
    double pressureSpike;
    double windSpike;
    // A station whose last records came more than this many of its usual
    // collection intervals ago is late, and past the second missing.
    double stationLateFactor;
    double stationMissingFactor;
};
const Limits &limits();

struct ColumnSummary {
    QString title;
    QString group;
    int count = 0; // values that are numbers
    qint64 first = LogReader::NoTime;
    qint64 last = LogReader::NoTime;
    double minimum = 0, maximum = 0, mean = 0; // only when count > 0
};

struct Finding {
    QString rule;   // "stuck", "range", "battery-falling", "gap", "time-backwards",
                    // "no-time", "error-records", "checksum", "duplicates", "cut-line",
                    // "clock-update"
    QString column; // empty for the log as a whole
    QString headline;
    bool needsLook = true;
    int count = 0;
    // Every one found; the text and the viewer list the first timesListed.
    std::vector<qint64> times;
    QStringList details; // in words
};

// An interval between two measurements much longer than the usual one.
struct Gap {
    qint64 from;
    qint64 to;
};

struct Report {
    QString fileName;
    QString systemFileName;
    int measurements = 0;
    int events = 0;
    qint64 retries = -1;
    qint64 usualInterval = 0; // seconds; 0 with fewer than two timed records
    std::vector<ColumnSummary> columns;
    std::vector<Finding> findings;

    bool needsLook() const;
};

Report check(const LogReader::Log &log);

// Whether the column holds two different numbers among records from..to
// (inclusive): a run of one value in a column is a stuck sensor only while
// its neighbours move.
bool moves(const LogReader::Column &column, size_t from, size_t to);

// The battery as a log shows it: the newest voltage, and the least-squares
// slope of its readings in V a day (NaN over less than a day of readings, or
// without a battery column).
struct BatteryState {
    double voltage = std::numeric_limits<double>::quiet_NaN();
    double perDay = std::numeric_limits<double>::quiet_NaN();
};
BatteryState batteryState(const LogReader::Log &log);
std::vector<Gap> findGaps(const LogReader::Log &log, qint64 &usualInterval);
// The same rule over times in the order they were recorded (seconds).
std::vector<Gap> findGaps(const std::vector<qint64> &times, qint64 &usualInterval);

QString reportText(const Report &report);
QJsonObject reportJson(const Report &report);
// "12.5" as the log prints its numbers; "-" for a column without any.
QString numberText(double value);
// The same rounded to decimals places, as the log prints a column that holds
// that many; decimals -1 is six significant digits.
QString numberText(double value, int decimals);

} // namespace HealthCheck

#endif
