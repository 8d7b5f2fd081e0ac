#include "log/healthcheck.h"

#include "log/logrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <map>

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
    // Humidity can sit at 100 % through a night of fog or rain, so it gets
    // twice the temperature's time.
    12 * Hour,
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
    // A finding lists the first five times; the count says how many more.
    5,
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
    if (int(finding.times.size()) < TheLimits.timesListed) {
        finding.times.push_back(time);
        if (!detail.isEmpty())
            finding.details << detail;
    }
    ++finding.count;
}

QString hours(qint64 seconds)
{
    return QString::number(double(seconds) / Hour, 'g', 3) + " h";
}

bool moves(const Column &column, int from, int to)
{
    double first = std::nan("");
    for (int i = from; i <= to; ++i) {
        const double v = column.values[size_t(i)];
        if (std::isnan(v))
            continue;
        if (std::isnan(first))
            first = v;
        else if (v != first)
            return true;
    }
    return false;
}

// Runs of one value lasting longer than limit; with others given, only the
// runs during which one of them moved.
void findStuck(const std::vector<Timed> &timed, const Column &column, qint64 limit,
               const std::vector<const Column *> &others, std::vector<Finding> &findings)
{
    Finding finding;
    finding.rule = "stuck";
    finding.column = column.title;
    finding.headline =
        others.empty()
            ? tr("%1 stays on one value for longer than %2").arg(column.title, hours(limit))
            : tr("%1 stays on one value for longer than %2 while the other wind "
                 "columns move")
                  .arg(column.title, hours(limit));
    size_t start = 0;
    for (size_t i = 1; i <= timed.size(); ++i) {
        const double first = column.values[size_t(timed[start].record)];
        if (i < timed.size() && column.values[size_t(timed[i].record)] == first)
            continue;
        const Timed &a = timed[start];
        const Timed &b = timed[i - 1];
        const bool othersMove =
            others.empty() || std::any_of(others.begin(), others.end(), [&](const Column *o) {
                return moves(*o, a.record, b.record);
            });
        if (!std::isnan(first) && b.time - a.time > limit && othersMove)
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
                    const QString &unit, std::vector<Finding> &findings)
{
    Finding finding;
    finding.rule = "range";
    finding.column = column.title;
    finding.headline =
        tr("%1 outside %2 to %3 %4").arg(column.title, numberText(low), numberText(high), unit);
    for (size_t i = 0; i < column.values.size(); ++i) {
        const double v = column.values[i];
        if (!std::isnan(v) && (v < low || v > high))
            note(finding, log.time[i],
                 tr("%1 at %2").arg(numberText(v), LogReader::timeText(log.time[i])));
    }
    if (finding.count > 0)
        findings.push_back(finding);
}

void findBatteryFall(const std::vector<Timed> &timed, const Column &column,
                     std::vector<Finding> &findings)
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
    if (int(days.size()) < TheLimits.batteryTrendDays)
        return;
    std::vector<std::pair<double, double>> means;
    for (const auto &day : days)
        means.push_back({double(day.first), day.second.first / day.second.second});
    const double n = double(means.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    int falling = 0;
    for (size_t i = 0; i < means.size(); ++i) {
        sx += means[i].first;
        sy += means[i].second;
        sxx += means[i].first * means[i].first;
        sxy += means[i].first * means[i].second;
        if (i > 0 && means[i].second < means[i - 1].second)
            ++falling;
    }
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    if (slope > -TheLimits.batteryFallPerDay || falling < TheLimits.batteryFallingShare * (n - 1))
        return;
    Finding finding;
    finding.rule = "battery-falling";
    finding.column = column.title;
    finding.headline = tr("%1 falls by %2 V a day over %3 days, from %4 V to %5 V (daily means)")
                           .arg(column.title, numberText(-slope))
                           .arg(days.size())
                           .arg(numberText(means.front().second), numberText(means.back().second));
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

bool Report::needsLook() const
{
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding &f) { return f.needsLook; });
}

std::vector<Gap> findGaps(const Log &log, qint64 &usualInterval)
{
    const std::vector<Timed> timed = timedRecords(log);
    std::vector<qint64> steps;
    for (size_t i = 1; i < timed.size(); ++i)
        if (timed[i].time > timed[i - 1].time)
            steps.push_back(timed[i].time - timed[i - 1].time);
    usualInterval = 0;
    std::vector<Gap> gaps;
    if (steps.empty())
        return gaps;
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    usualInterval = steps[steps.size() / 2];
    for (size_t i = 1; i < timed.size(); ++i)
        if (timed[i].time - timed[i - 1].time > TheLimits.gapFactor * usualInterval)
            gaps.push_back({timed[i - 1].time, timed[i].time});
    return gaps;
}

Report check(const Log &log)
{
    Report report;
    report.fileName = log.fileName;
    report.systemFileName = log.systemFileName;
    report.measurements = log.measurementCount();
    report.events = int(log.events.size());
    report.retries = log.retries;

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
        report.columns.push_back(summary);
    }

    std::vector<Finding> &findings = report.findings;
    const std::vector<Timed> timed = timedRecords(log);
    std::vector<const Column *> wind;
    for (const Column &column : log.columns)
        if (column.group == "Wind")
            wind.push_back(&column);
    for (const Column &column : log.columns) {
        switch (column.quantity) {
        case Quantity::Temperature:
            findStuck(timed, column, TheLimits.temperatureStuckSeconds, {}, findings);
            break;
        case Quantity::Humidity:
            findStuck(timed, column, TheLimits.humidityStuckSeconds, {}, findings);
            findOutOfRange(log, column, TheLimits.humidityMinimum, TheLimits.humidityMaximum, "%",
                           findings);
            break;
        case Quantity::Pressure:
            findStuck(timed, column, TheLimits.pressureStuckSeconds, {}, findings);
            break;
        case Quantity::WindSpeed: {
            std::vector<const Column *> others;
            std::copy_if(wind.begin(), wind.end(), std::back_inserter(others),
                         [&](const Column *c) { return c != &column; });
            findStuck(timed, column, TheLimits.windStuckSeconds, others, findings);
            break;
        }
        case Quantity::Direction:
            findOutOfRange(log, column, TheLimits.directionMinimum, TheLimits.directionMaximum, "°",
                           findings);
            break;
        case Quantity::BatteryVoltage:
            findStuck(timed, column, TheLimits.batteryStuckSeconds, {}, findings);
            findOutOfRange(log, column, TheLimits.batteryMinimum, TheLimits.batteryMaximum, "V",
                           findings);
            findBatteryFall(timed, column, findings);
            break;
        case Quantity::InputVoltage:
            findOutOfRange(log, column, TheLimits.inputMinimum, TheLimits.inputMaximum, "V",
                           findings);
            break;
        default:
            break;
        }
    }

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
            note(noTime, NoTime, tr("measurement %1").arg(log.index[i]));

    Finding checksums;
    checksums.rule = "checksum";
    checksums.headline = tr("Records marked CHECKSUM ERROR");
    for (size_t i = 0; i < log.time.size(); ++i)
        if (log.checksumError[i])
            note(checksums, log.time[i], tr("measurement %1").arg(log.index[i]));

    Finding errors;
    errors.rule = "error-records";
    errors.headline = tr("Error records");
    Finding clock;
    clock.rule = "clock-update";
    clock.needsLook = false;
    clock.headline = tr("Clock updates (from, to)");
    for (const LogReader::Event &event : log.events) {
        if (event.time == NoTime)
            note(noTime, NoTime, tr("event %1").arg(event.index));
        if (event.checksumError)
            note(checksums, event.time, tr("event %1").arg(event.index));
        if (event.kind == LogReader::Event::Error)
            note(errors, event.time, LogReader::timeText(event.time) + ": " + event.text);
        if (event.clockUpdate)
            note(clock, event.time,
                 tr("%1 to %2")
                     .arg(LogReader::timeText(event.time), LogReader::timeText(event.clockSetTo)));
    }
    for (Finding *f : {&gapFinding, &backwards, &noTime, &checksums, &errors, &clock})
        if (f->count > 0)
            findings.push_back(*f);
    return report;
}

QString reportText(const Report &report)
{
    QString text = tr("%1: %2 measurements, %3 system records")
                       .arg(QDir::toNativeSeparators(report.fileName))
                       .arg(report.measurements)
                       .arg(report.events);
    if (report.retries >= 0)
        text += tr(", %1 retries").arg(report.retries);
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
        for (const QString &detail : f.details)
            text += "    " + detail + '\n';
        if (f.count > int(f.details.size()) && !f.details.isEmpty())
            text += "    " + tr("and %1 more").arg(f.count - f.details.size()) + '\n';
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
