#include "log/qualityflags.h"

#include "log/healthcheck.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace QualityFlags
{

using LogReader::Column;
using LogReader::Log;
using LogReader::NoTime;
using LogReader::Quantity;

namespace
{

void raise(quint8 &flag, quint8 to)
{
    // Bad outranks suspect; a missing value has nothing to judge.
    if (flag != Missing && to > flag)
        flag = to;
}

struct Timed {
    size_t record;
    qint64 time;
};

struct Rules {
    double low = 0, high = 0;
    bool range = false;
    qint64 stuckSeconds = 0; // 0: no stuck rule
    double saturatedFrom = std::numeric_limits<double>::infinity();
    qint64 saturatedSeconds = 0;
    double spike = 0; // 0: no spike rule
    bool otherWindMoves = false;
};

Rules rulesOf(const Column &column)
{
    const HealthCheck::Limits &l = HealthCheck::limits();
    Rules r;
    switch (column.quantity) {
    case Quantity::Temperature:
        r.stuckSeconds = l.temperatureStuckSeconds;
        r.spike = l.temperatureSpike;
        break;
    case Quantity::Humidity:
        r.stuckSeconds = l.humidityStuckSeconds;
        r.saturatedFrom = l.humidityMaximum;
        r.saturatedSeconds = l.humiditySaturatedSeconds;
        r.range = true;
        r.low = l.humidityMinimum;
        r.high = l.humidityMaximum;
        r.spike = l.humiditySpike;
        break;
    case Quantity::Pressure:
        r.stuckSeconds = l.pressureStuckSeconds;
        r.spike = l.pressureSpike;
        break;
    case Quantity::WindSpeed:
        r.stuckSeconds = l.windStuckSeconds;
        r.otherWindMoves = true;
        // A gust is the highest of many samples; it jumps by its nature.
        if (column.title != QLatin1String("Gust"))
            r.spike = l.windSpike;
        break;
    case Quantity::Direction:
        r.range = true;
        r.low = l.directionMinimum;
        r.high = l.directionMaximum;
        break;
    case Quantity::BatteryVoltage:
        r.stuckSeconds = l.batteryStuckSeconds;
        r.range = true;
        r.low = l.batteryMinimum;
        r.high = l.batteryMaximum;
        break;
    case Quantity::InputVoltage:
        r.range = true;
        r.low = l.inputMinimum;
        r.high = l.inputMaximum;
        break;
    default:
        break;
    }
    return r;
}

// Runs of one value longer than the health check allows, as it finds them:
// over the timed measurements in the file's order.
void flagStuck(const std::vector<Timed> &timed, const Column &column, const Rules &rules,
               const std::vector<const Column *> &others, std::vector<quint8> &flags)
{
    size_t start = 0;
    for (size_t i = 1; i <= timed.size(); ++i) {
        const double first = column.values[timed[start].record];
        if (i < timed.size() && column.values[timed[i].record] == first)
            continue;
        const Timed &a = timed[start];
        const Timed &b = timed[i - 1];
        const qint64 limit =
            first >= rules.saturatedFrom ? rules.saturatedSeconds : rules.stuckSeconds;
        if (!std::isnan(first) && b.time - a.time > limit &&
            (others.empty() || std::any_of(others.begin(), others.end(), [&](const Column *o) {
                 return HealthCheck::moves(*o, std::min(a.record, b.record),
                                           std::max(a.record, b.record));
             })))
            for (size_t k = start; k < i; ++k)
                raise(flags[timed[k].record], Suspect);
        start = i;
    }
}

// A jump from the neighbour before that no weather makes in the time
// between them is suspect; when the next value jumps back as far, the value
// is a spike and bad. Neighbours across a gap are not compared.
void flagSpikes(const std::vector<Timed> &timed, const Column &column, double limit,
                qint64 gapSeconds, std::vector<quint8> &flags)
{
    const qint64 step = HealthCheck::limits().spikeStepSeconds;
    std::vector<Timed> known;
    // A value out of range is no neighbour to judge another by.
    for (const Timed &t : timed)
        if (std::isfinite(column.values[t.record]) && flags[t.record] != Bad)
            known.push_back(t);
    // jump[i]: the change from known[i - 1] to known[i] when it is too large, else 0.
    std::vector<double> jump(known.size(), 0.0);
    for (size_t i = 1; i < known.size(); ++i) {
        const qint64 dt = known[i].time - known[i - 1].time;
        if (dt <= 0 || (gapSeconds > 0 && dt > gapSeconds))
            continue;
        const double allowed = limit * std::max(1.0, double(dt) / double(step));
        const double change = column.values[known[i].record] - column.values[known[i - 1].record];
        if (std::fabs(change) > allowed)
            jump[i] = change;
    }
    for (size_t i = 1; i < known.size(); ++i) {
        if (jump[i] == 0)
            continue;
        const bool back = i + 1 < known.size() && jump[i + 1] != 0 &&
                          std::signbit(jump[i + 1]) != std::signbit(jump[i]);
        raise(flags[known[i].record], back ? Bad : Suspect);
        // The jump back from a spike says nothing about the value after it.
        if (back)
            ++i;
    }
}

} // namespace

bool isChecked(const Column &column)
{
    const Rules r = rulesOf(column);
    return r.range || r.stuckSeconds > 0 || r.spike > 0;
}

double unitScale(const QString &unit)
{
    static const std::pair<const char *, double> Scales[] = {
        {"°F", 1.8},      {"inHg", 0.0295300}, {"mmHg", 0.750062}, {"kPa", 0.1},
        {"mph", 2.23694}, {"kph", 3.6},        {"Knots", 1.94384},
    };
    for (const auto &scale : Scales)
        if (unit == QString::fromUtf8(scale.first))
            return scale.second;
    return 1.0;
}

std::vector<ColumnFlags> flagLog(const Log &log, const std::vector<double> &scales)
{
    std::vector<Timed> timed;
    for (size_t i = 0; i < log.time.size(); ++i)
        if (log.time[i] != NoTime)
            timed.push_back({i, log.time[i]});
    qint64 usual = 0;
    HealthCheck::findGaps(log, usual);
    const qint64 gapSeconds = qint64(HealthCheck::limits().gapFactor * double(usual));
    std::vector<const Column *> wind;
    for (const Column &column : log.columns)
        if (column.group == QLatin1String("Wind") && column.quantity == Quantity::WindSpeed)
            wind.push_back(&column);

    std::vector<ColumnFlags> all;
    for (size_t c = 0; c < log.columns.size(); ++c) {
        const Column &column = log.columns[c];
        if (!isChecked(column))
            continue;
        const Rules rules = rulesOf(column);
        ColumnFlags result;
        result.column = int(c);
        result.flags.resize(column.values.size(), Good);
        for (size_t i = 0; i < column.values.size(); ++i) {
            const double v = column.values[i];
            if (std::isnan(v))
                result.flags[i] = Missing;
            else if (rules.range && (v < rules.low || v > rules.high))
                result.flags[i] = Bad;
        }
        if (rules.stuckSeconds > 0) {
            std::vector<const Column *> others;
            if (rules.otherWindMoves)
                for (const Column *o : wind)
                    if (o != &column)
                        others.push_back(o);
            flagStuck(timed, column, rules, others, result.flags);
        }
        if (rules.spike > 0) {
            const double scale = c < scales.size() ? scales[c] : 1.0;
            flagSpikes(timed, column, rules.spike * scale, gapSeconds, result.flags);
        }
        all.push_back(std::move(result));
    }
    return all;
}

QByteArray flagsCsv(const Log &log, const std::vector<ColumnFlags> &flags)
{
    QByteArray text = "Index,Date/Time (UTC)";
    for (const ColumnFlags &f : flags)
        text += ',' + log.columns[size_t(f.column)].title.toUtf8();
    text += "\r\n";
    text.reserve(int(log.time.size()) * (24 + 2 * int(flags.size())));
    for (size_t i = 0; i < log.time.size(); ++i) {
        text += QByteArray::number(log.index[i]) + ',';
        if (log.time[i] != NoTime)
            text += LogReader::timeText(log.time[i]).toLatin1();
        for (const ColumnFlags &f : flags) {
            text += ',';
            text += char('0' + f.flags[i]);
        }
        text += "\r\n";
    }
    return text;
}

QString flagsFileName(const QString &fileName)
{
    return fileName.left(qMax(0, fileName.size() - 4)) + "-flags" + fileName.right(4);
}

} // namespace QualityFlags
