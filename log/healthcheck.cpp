#include "log/healthcheck.h"

#include "log/logrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>

namespace HealthCheck
{

using LogReader::Column;
using LogReader::Log;
using LogReader::NoTime;
using LogReader::Quantity;

namespace
{

QString tr(const char *text)
{
    return QCoreApplication::translate("HealthCheck", text);
}

constexpr qint64 Hour = 3600;

// Every number the rules use, and where it comes from. These are judgements
// for a station in the field, not figures the module gives; change them here.
const Limits TheLimits = {
    // Outdoor air temperature printed to six digits changes within an hour
    // even on a still, overcast night; six hours without any change means a
    // sensor that no longer reads.
    6 * Hour,
    // Below saturation humidity follows the temperature through the day; it
    // gets twice the temperature's time for a wet, windless night.
    12 * Hour,
    // At 100 % the air is saturated: fog and dew hold it there for days under
    // a winter inversion, and a sensor cannot read above it. Only a week at
    // 100 % or above points to a wet or dead sensor rather than the weather.
    7 * 24 * Hour,
    // The barometer reads to 0.1 hPa or better, and the weather service's
    // three-hour pressure tendency is rarely below that; six hours allows
    // for the calmest days.
    6 * Hour,
    // A vane that turns while the anemometer reads the same speed for two
    // hours points to the anemometer; calms are excluded by asking the
    // other wind columns to move.
    2 * Hour,
    // The battery voltage is logged in millivolts and follows the charger
    // and the load through every day; a day without a change is no battery.
    24 * Hour,
    // Relative humidity is a percentage.
    0.0,
    100.0,
    // Directions are logged in whole degrees from north, 0 to 359.
    0.0,
    359.0,
    // The station runs from a 12 V lead-acid battery: below 10 V it is
    // deeply discharged and the module browns out, above 16 V the charger
    // overcharges it. Neither is weather.
    10.0,
    16.0,
    // The charge input sees the solar panel or mains adapter: 0 V at night,
    // about 22 V from an open 12 V-class panel; 30 V would damage the charger.
    0.0,
    30.0,
    // A gap is an interval over three times the usual one: one or two lost
    // measurements happen at a reboot, more mean the station was down.
    3.0,
    // A steady fall needs at least three days of daily means to tell it from
    // one dull day.
    3,
    // 50 mV a day: a healthy charger makes up the night's drain every day,
    // so a battery that loses more than this day after day is not charged.
    0.05,
    // Most days lower than the day before, so a single cloudy day does not
    // make a trend.
    0.75,
    // The text and the viewer list a finding's first five; the count says
    // how many more, the JSON and the viewer's full list give them all.
    5,
    // Spikes are judged per ten minutes, the step of the consecutive-value
    // checks below.
    10 * 60,
    // Austria's weather service rejects air temperatures that change by
    // 3 degrees or more, and relative humidity that changes by 10 % or more,
    // between consecutive 10-minute values (ZAMG's basic quality control of
    // AWS data, WMO CBS/OPAG-IOS ET AWS-1 Doc. 9(2), 2002).
    3.0,
    10.0,
    // Our judgement: the sharpest pressure jumps of a squall line are a few
    // hPa within minutes; 5 hPa in ten minutes is no weather.
    5.0,
    // Our judgement: mean wind (not gust) rising or falling by 20 m/s
    // within ten minutes does not happen outside a tornado.
    20.0,
    // A station collected by a daily timer that misses one run is at twice
    // its interval: late, somebody should look at the timer or the link.
    // Collection servers mark a station critical after a handful of missed
    // intervals, and the open systems turn it red "past many"; five missed
    // collections is when a visit is due: missing.
    2.0,
    5.0,
};

struct Timed {
    int record;
    qint64 time;
};

// Measurements with a time, in the file's order.
std::vector<Timed> timedRecords(const Log &log)
{
    std::vector<Timed> timed;
    timed.reserve(log.time.size());
    for (int i = 0; i < int(log.time.size()); ++i)
        if (log.time[size_t(i)] != NoTime)
            timed.push_back({i, log.time[size_t(i)]});
    return timed;
}

void note(Finding &finding, qint64 time, const QString &detail = QString())
{
    finding.times.push_back(time);
    if (!detail.isEmpty())
        finding.details << detail;
    ++finding.count;
}

// Hours as a person reads them: three digits, never an exponent.
QString hours(qint64 seconds)
{
    const double h = double(seconds) / Hour;
    return (h < 1000 ? QString::number(h, 'g', 3) : QString::number(h, 'f', 0)) + " h";
}

QString measurementText(const Log &log, size_t i)
{
    return tr("measurement %1 on line %2")
        .arg(log.index[i])
        .arg(LogReader::lineOfMeasurement(int(i)));
}

QString eventText(const LogReader::Event &event)
{
    if (event.erased)
        return tr("an erased slot (every byte 0xFF) on line %1 of the system file").arg(event.line);
    return tr("record %1 on line %2 of the system file: %3")
        .arg(event.index)
        .arg(event.line)
        .arg(event.text);
}

// How long a column may stay on one value; from saturatedFrom up, which is
// where a quantity can rest for the weather's own reasons, for longer.
struct StuckLimit {
    qint64 seconds;
    double saturatedFrom = std::numeric_limits<double>::infinity();
    qint64 saturatedSeconds = 0;

    qint64 forValue(double value) const
    {
        return value >= saturatedFrom ? saturatedSeconds : seconds;
    }
};

QString stuckHeadline(const Column &column, const StuckLimit &limit, bool withOthers)
{
    QString headline =
        tr("%1 stays on one value for longer than %2").arg(column.title, hours(limit.seconds));
    if (limit.saturatedSeconds > 0)
        headline += tr(", or %1 at %2 and above")
                        .arg(hours(limit.saturatedSeconds),
                             (numberText(limit.saturatedFrom) + ' ' + column.unit).trimmed());
    if (withOthers)
        headline += tr(" while the other wind columns move");
    return headline;
}

// Runs of one value lasting longer than their limit; with others given, only
// the runs during which one of them moved.
void findStuck(const std::vector<Timed> &timed, const Column &column, const StuckLimit &limit,
               const std::vector<const Column *> &others, std::vector<Finding> &findings)
{
    Finding finding;
    finding.rule = "stuck";
    finding.column = column.title;
    finding.headline = stuckHeadline(column, limit, !others.empty());
    size_t start = 0;
    for (size_t i = 1; i <= timed.size(); ++i) {
        const double first = column.values[size_t(timed[start].record)];
        if (i < timed.size() && column.values[size_t(timed[i].record)] == first)
            continue;
        const Timed &a = timed[start];
        const Timed &b = timed[i - 1];
        const bool othersMove =
            others.empty() || std::any_of(others.begin(), others.end(), [&](const Column *o) {
                return moves(*o, size_t(a.record), size_t(b.record));
            });
        if (!std::isnan(first) && b.time - a.time > limit.forValue(first) && othersMove)
            note(finding, a.time,
                 tr("%1 from %2 to %3")
                     .arg(numberText(first), LogReader::timeText(a.time),
                          LogReader::timeText(b.time)));
        start = i;
    }
    if (finding.count > 0)
        findings.push_back(finding);
}

void findOutOfRange(const Log &log, const Column &column, double low, double high,
                    std::vector<Finding> &findings)
{
    Finding finding;
    finding.rule = "range";
    finding.column = column.title;
    finding.headline = tr("%1 outside %2 to %3 %4")
                           .arg(column.title, numberText(low), numberText(high), column.unit)
                           .trimmed();
    for (size_t i = 0; i < column.values.size(); ++i) {
        const double v = column.values[i];
        if (!std::isnan(v) && (v < low || v > high))
            note(finding, log.time[i],
                 tr("%1 at %2").arg(numberText(v), LogReader::timeText(log.time[i])));
    }
    if (finding.count > 0)
        findings.push_back(finding);
}

// The mean of each day (UTC) that has a number, oldest first: the day's
// first second and its mean.
std::vector<std::pair<double, double>> dailyMeans(const std::vector<Timed> &timed,
                                                  const Column &column)
{
    std::map<qint64, std::pair<double, int>> days;
    for (const Timed &t : timed) {
        const double v = column.values[size_t(t.record)];
        if (std::isfinite(v)) {
            auto &day = days[t.time >= 0 ? t.time / 86400 : (t.time + 1) / 86400 - 1];
            day.first += v;
            ++day.second;
        }
    }
    std::vector<std::pair<double, double>> means;
    for (const auto &day : days)
        means.push_back({double(day.first), day.second.first / day.second.second});
    return means;
}

// The least-squares slope of values against their day (first), per day.
double slopePerDay(const std::vector<std::pair<double, double>> &means)
{
    const double n = double(means.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const auto &mean : means) {
        sx += mean.first;
        sy += mean.second;
        sxx += mean.first * mean.first;
        sxy += mean.first * mean.second;
    }
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

void findBatteryFall(const std::vector<Timed> &timed, const Column &column,
                     std::vector<Finding> &findings)
{
    const std::vector<std::pair<double, double>> means = dailyMeans(timed, column);
    if (int(means.size()) < TheLimits.batteryTrendDays)
        return;
    const double n = double(means.size());
    int falling = 0;
    for (size_t i = 1; i < means.size(); ++i)
        if (means[i].second < means[i - 1].second)
            ++falling;
    const double slope = slopePerDay(means);
    if (slope > -TheLimits.batteryFallPerDay || falling < TheLimits.batteryFallingShare * (n - 1))
        return;
    Finding finding;
    finding.rule = "battery-falling";
    finding.column = column.title;
    // The log prints millivolts: so do the slope and the means.
    const int decimals = column.decimals;
    finding.headline = tr("%1 falls by %2 V a day over %3 days, from %4 V to %5 V (daily means)")
                           .arg(column.title, numberText(-slope, decimals))
                           .arg(means.size())
                           .arg(numberText(means.front().second, decimals),
                                numberText(means.back().second, decimals));
    note(finding, qint64(means.front().first) * 86400);
    findings.push_back(finding);
}

} // namespace

const Limits &limits()
{
    return TheLimits;
}

QString numberText(double value)
{
    return std::isnan(value) ? QString("-") : LogRecord::realText(value);
}

QString numberText(double value, int decimals)
{
    if (decimals < 0 || !std::isfinite(value))
        return numberText(value);
    const double scale = std::pow(10.0, decimals);
    return numberText(std::round(value * scale) / scale);
}

bool Report::needsLook() const
{
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding &f) { return f.needsLook; });
}

std::vector<Gap> findGaps(const std::vector<qint64> &times, qint64 &usualInterval)
{
    std::vector<qint64> steps;
    for (size_t i = 1; i < times.size(); ++i)
        if (times[i] > times[i - 1])
            steps.push_back(times[i] - times[i - 1]);
    usualInterval = 0;
    std::vector<Gap> gaps;
    if (steps.empty())
        return gaps;
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    usualInterval = steps[steps.size() / 2];
    for (size_t i = 1; i < times.size(); ++i)
        if (times[i] - times[i - 1] > TheLimits.gapFactor * usualInterval)
            gaps.push_back({times[i - 1], times[i]});
    return gaps;
}

std::vector<Gap> findGaps(const Log &log, qint64 &usualInterval)
{
    std::vector<qint64> times;
    for (const Timed &record : timedRecords(log))
        times.push_back(record.time);
    return findGaps(times, usualInterval);
}

namespace
{

std::vector<ColumnSummary> summarize(const Log &log)
{
    std::vector<ColumnSummary> summaries;
    for (const Column &column : log.columns) {
        ColumnSummary summary;
        summary.title = column.title;
        summary.group = column.group;
        double sum = 0;
        for (size_t i = 0; i < column.values.size(); ++i) {
            const double v = column.values[i];
            if (!std::isfinite(v))
                continue;
            if (summary.count == 0) {
                summary.minimum = summary.maximum = v;
            }
            summary.minimum = std::min(summary.minimum, v);
            summary.maximum = std::max(summary.maximum, v);
            sum += v;
            ++summary.count;
            if (log.time[i] != NoTime) {
                if (summary.first == NoTime)
                    summary.first = log.time[i];
                summary.last = log.time[i];
            }
        }
        if (summary.count > 0)
            summary.mean = sum / summary.count;
        summaries.push_back(summary);
    }
    return summaries;
}

// The rules for what each column measures.
void checkColumns(const Log &log, std::vector<Finding> &findings)
{
    const std::vector<Timed> timed = timedRecords(log);
    std::vector<const Column *> wind;
    for (const Column &column : log.columns)
        if (column.group == "Wind")
            wind.push_back(&column);
    for (const Column &column : log.columns) {
        switch (column.quantity) {
        case Quantity::Temperature:
            findStuck(timed, column, {TheLimits.temperatureStuckSeconds}, {}, findings);
            break;
        case Quantity::Humidity:
            findStuck(timed, column,
                      {TheLimits.humidityStuckSeconds, TheLimits.humidityMaximum,
                       TheLimits.humiditySaturatedSeconds},
                      {}, findings);
            findOutOfRange(log, column, TheLimits.humidityMinimum, TheLimits.humidityMaximum,
                           findings);
            break;
        case Quantity::Pressure:
            findStuck(timed, column, {TheLimits.pressureStuckSeconds}, {}, findings);
            break;
        case Quantity::WindSpeed: {
            std::vector<const Column *> others;
            std::copy_if(wind.begin(), wind.end(), std::back_inserter(others),
                         [&](const Column *c) { return c != &column; });
            findStuck(timed, column, {TheLimits.windStuckSeconds}, others, findings);
            break;
        }
        case Quantity::Direction:
            findOutOfRange(log, column, TheLimits.directionMinimum, TheLimits.directionMaximum,
                           findings);
            break;
        case Quantity::BatteryVoltage:
            findStuck(timed, column, {TheLimits.batteryStuckSeconds}, {}, findings);
            findOutOfRange(log, column, TheLimits.batteryMinimum, TheLimits.batteryMaximum,
                           findings);
            findBatteryFall(timed, column, findings);
            break;
        case Quantity::InputVoltage:
            findOutOfRange(log, column, TheLimits.inputMinimum, TheLimits.inputMaximum, findings);
            break;
        default:
            break;
        }
    }
}

// Orders measurements by number, time and values, NaN after every number;
// copies of one record end up side by side, the first in the file first.
bool measurementBefore(const Log &log, size_t a, size_t b)
{
    if (log.index[a] != log.index[b])
        return log.index[a] < log.index[b];
    if (log.time[a] != log.time[b])
        return log.time[a] < log.time[b];
    for (const Column &column : log.columns) {
        const double x = column.values[a];
        const double y = column.values[b];
        if (std::isnan(x) || std::isnan(y)) {
            if (std::isnan(x) != std::isnan(y))
                return std::isnan(y);
        } else if (x != y) {
            return x < y;
        }
    }
    return false;
}

// Records that are there more than once: the same number, time and content
// (a checksum mark aside). Erased slots are all alike and are not counted.
Finding findDuplicates(const Log &log)
{
    Finding finding;
    finding.rule = "duplicates";
    finding.headline = tr("Records that are in the log more than once");

    std::vector<size_t> order(log.index.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto before = [&log](size_t a, size_t b) { return measurementBefore(log, a, b); };
    std::stable_sort(order.begin(), order.end(), before);
    std::vector<std::pair<size_t, size_t>> copies; // first, later
    for (size_t first = 0, i = 1; i < order.size(); ++i) {
        if (before(order[first], order[i]))
            first = i;
        else
            copies.push_back({order[first], order[i]});
    }
    std::sort(copies.begin(), copies.end(),
              [](const auto &a, const auto &b) { return a.second < b.second; });
    for (const auto &copy : copies)
        note(finding, log.time[copy.second],
             tr("measurement %1 on lines %2 and %3")
                 .arg(log.index[copy.second])
                 .arg(LogReader::lineOfMeasurement(int(copy.first)))
                 .arg(LogReader::lineOfMeasurement(int(copy.second))));

    std::map<std::tuple<quint32, qint64, int, QString>, const LogReader::Event *> seen;
    for (const LogReader::Event &event : log.events) {
        if (event.erased)
            continue;
        const auto inserted =
            seen.insert({{event.index, event.time, int(event.kind), event.text}, &event});
        if (!inserted.second)
            note(finding, event.time,
                 tr("record %1 on lines %2 and %3 of the system file: %4")
                     .arg(event.index)
                     .arg(inserted.first->second->line)
                     .arg(event.line)
                     .arg(event.text));
    }
    return finding;
}

// What the log as a whole says: its time line, its marks and its events.
void checkLog(const Log &log, Report &report)
{
    const std::vector<Timed> timed = timedRecords(log);
    Finding gapFinding;
    gapFinding.rule = "gap";
    for (const Gap &gap : findGaps(log, report.usualInterval))
        note(gapFinding, gap.from,
             tr("%1 to %2 (%3)")
                 .arg(LogReader::timeText(gap.from), LogReader::timeText(gap.to),
                      hours(gap.to - gap.from)));
    gapFinding.headline = tr("Gaps longer than %1 times the usual interval of %2 s")
                              .arg(TheLimits.gapFactor)
                              .arg(report.usualInterval);

    Finding backwards;
    backwards.rule = "time-backwards";
    backwards.headline = tr("Time runs backwards between consecutive measurements");
    for (size_t i = 1; i < timed.size(); ++i)
        if (timed[i].time < timed[i - 1].time)
            note(backwards, timed[i].time,
                 tr("%1 after %2")
                     .arg(LogReader::timeText(timed[i].time),
                          LogReader::timeText(timed[i - 1].time)));

    Finding noTime;
    noTime.rule = "no-time";
    noTime.headline = tr("Records without a date");
    for (size_t i = 0; i < log.time.size(); ++i)
        if (log.time[i] == NoTime)
            note(noTime, NoTime, measurementText(log, i));

    Finding checksums;
    checksums.rule = "checksum";
    checksums.headline = tr("Records marked CHECKSUM ERROR");
    for (size_t i = 0; i < log.time.size(); ++i)
        if (log.checksumError[i])
            note(checksums, log.time[i], measurementText(log, i));

    Finding errors;
    errors.rule = "error-records";
    errors.headline = tr("Error records");
    Finding clock;
    clock.rule = "clock-update";
    clock.needsLook = false;
    clock.headline = tr("Clock updates (from, to)");
    for (const LogReader::Event &event : log.events) {
        if (event.time == NoTime)
            note(noTime, NoTime, eventText(event));
        if (event.checksumError)
            note(checksums, event.time, eventText(event));
        if (event.kind == LogReader::Event::Error)
            note(errors, event.time, LogReader::timeText(event.time) + ": " + event.text);
        if (event.clockUpdate)
            note(clock, event.time,
                 tr("%1 to %2")
                     .arg(LogReader::timeText(event.time), LogReader::timeText(event.clockSetTo)));
    }

    Finding duplicates = findDuplicates(log);
    Finding cut;
    cut.rule = "cut-line";
    cut.headline = tr("Files cut short: their last line is left out of the check");
    for (const LogReader::CutLine &line : log.cutLines)
        note(cut, NoTime,
             tr("line %1 of %2: '%3'")
                 .arg(line.line)
                 .arg(QFileInfo(line.fileName).fileName(), line.text));

    for (const Finding *f :
         {&cut, &gapFinding, &backwards, &noTime, &checksums, &duplicates, &errors, &clock})
        if (f->count > 0)
            report.findings.push_back(*f);
}

} // namespace

bool moves(const Column &column, size_t from, size_t to)
{
    double first = std::nan("");
    for (size_t i = from; i <= to; ++i) {
        const double v = column.values[i];
        if (std::isnan(v))
            continue;
        if (std::isnan(first))
            first = v;
        else if (v != first)
            return true;
    }
    return false;
}

Report check(const Log &log)
{
    Report report;
    report.fileName = log.fileName;
    report.systemFileName = log.systemFileName;
    report.measurements = log.measurementCount();
    report.events = int(log.events.size());
    report.retries = log.retries;
    report.columns = summarize(log);
    checkColumns(log, report.findings);
    checkLog(log, report);
    return report;
}

BatteryState batteryState(const Log &log)
{
    BatteryState state;
    const auto battery = std::find_if(log.columns.begin(), log.columns.end(), [](const Column &c) {
        return c.quantity == Quantity::BatteryVoltage;
    });
    if (battery == log.columns.end())
        return state;
    std::vector<Timed> timed = timedRecords(log);
    // The newest measurement that has a voltage, by the module's time.
    std::stable_sort(timed.begin(), timed.end(),
                     [](const Timed &a, const Timed &b) { return a.time < b.time; });
    for (auto t = timed.rbegin(); t != timed.rend(); ++t)
        if (std::isfinite(battery->values[size_t(t->record)])) {
            state.voltage = battery->values[size_t(t->record)];
            break;
        }
    // The slope of the readings themselves against their time: a day the
    // log covers only in part weighs as much as it holds. Less than a day
    // of readings shows the day's charge cycle, not a trend.
    std::vector<std::pair<double, double>> readings;
    for (const Timed &t : timed)
        if (std::isfinite(battery->values[size_t(t.record)]))
            readings.push_back({double(t.time) / 86400, battery->values[size_t(t.record)]});
    if (readings.size() >= 2 && readings.back().first - readings.front().first >= 1.0)
        state.perDay = slopePerDay(readings);
    return state;
}

QString reportText(const Report &report)
{
    QString text = tr("%1: %2 measurements, %3 system records")
                       .arg(QDir::toNativeSeparators(report.fileName))
                       .arg(report.measurements)
                       .arg(report.events);
    if (report.retries >= 0)
        text += tr(", %1 retries").arg(report.retries);
    else if (!report.systemFileName.isEmpty())
        text += tr(", retries unknown (the system file is cut short)");
    else
        text += tr(", no system file beside it");
    text += "\n\n";
    text += QString("%1 %2 %3 %4 %5 %6 %7\n")
                .arg(tr("Column"), -27)
                .arg(tr("Count"), 6)
                .arg(tr("First"), -19)
                .arg(tr("Last"), -19)
                .arg(tr("Minimum"), 10)
                .arg(tr("Maximum"), 10)
                .arg(tr("Mean"), 10);
    for (const ColumnSummary &c : report.columns)
        text += QString("%1 %2 %3 %4 %5 %6 %7\n")
                    .arg(c.title, -27)
                    .arg(c.count, 6)
                    .arg(c.count ? LogReader::timeText(c.first) : QString("-"), -19)
                    .arg(c.count ? LogReader::timeText(c.last) : QString("-"), -19)
                    .arg(c.count ? numberText(c.minimum) : QString("-"), 10)
                    .arg(c.count ? numberText(c.maximum) : QString("-"), 10)
                    .arg(c.count ? numberText(c.mean) : QString("-"), 10);
    text += '\n';
    if (report.findings.empty())
        text += tr("Nothing needs a look.\n");
    for (const Finding &f : report.findings) {
        text += QString("%1 %2: %3\n").arg(f.needsLook ? "!" : "-", f.headline).arg(f.count);
        const int listed = std::min(int(f.details.size()), TheLimits.timesListed);
        for (int i = 0; i < listed; ++i)
            text += "    " + f.details[i] + '\n';
        if (f.count > listed && listed > 0)
            text += "    " + tr("and %1 more").arg(f.count - listed) + '\n';
    }
    return text;
}

QJsonObject reportJson(const Report &report)
{
    auto number = [](double v) { return std::isfinite(v) ? QJsonValue(v) : QJsonValue(); };
    auto time = [](qint64 t) {
        return t == NoTime ? QJsonValue() : QJsonValue(LogReader::timeText(t));
    };
    QJsonArray columns;
    for (const ColumnSummary &c : report.columns) {
        const bool any = c.count > 0;
        columns.append(QJsonObject{{"title", c.title},
                                   {"group", c.group},
                                   {"count", c.count},
                                   {"first", time(c.first)},
                                   {"last", time(c.last)},
                                   {"minimum", any ? number(c.minimum) : QJsonValue()},
                                   {"maximum", any ? number(c.maximum) : QJsonValue()},
                                   {"mean", any ? number(c.mean) : QJsonValue()}});
    }
    QJsonArray findings;
    for (const Finding &f : report.findings) {
        QJsonArray times;
        for (qint64 t : f.times)
            times.append(time(t));
        findings.append(QJsonObject{{"rule", f.rule},
                                    {"column", f.column.isEmpty() ? QJsonValue() : f.column},
                                    {"text", f.headline},
                                    {"needsLook", f.needsLook},
                                    {"count", f.count},
                                    {"times", times},
                                    {"details", QJsonArray::fromStringList(f.details)}});
    }
    return QJsonObject{{"file", QDir::toNativeSeparators(report.fileName)},
                       {"systemFile", report.systemFileName.isEmpty()
                                          ? QJsonValue()
                                          : QDir::toNativeSeparators(report.systemFileName)},
                       {"measurements", report.measurements},
                       {"events", report.events},
                       {"retries", report.retries >= 0 ? QJsonValue(report.retries) : QJsonValue()},
                       {"usualInterval", report.usualInterval},
                       {"needsLook", report.needsLook()},
                       {"columns", columns},
                       {"findings", findings}};
}

} // namespace HealthCheck
