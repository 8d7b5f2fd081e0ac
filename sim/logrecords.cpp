#include "sim/logrecords.h"

#include "sim/bytes.h"

#include <algorithm>
#include <cmath>

namespace sim
{
namespace
{

constexpr int ChecksumOffset = 126;
constexpr int BlocksOffset = 91;
constexpr long long SecondsPerDay = 86400;

// Days since 2000-01-01 of a civil date, and back (proleptic Gregorian).
long long daysFromCivil(int year, int month, int day)
{
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 730425; // 730425: 0000-03-01 to 2000-01-01
}

void civilFromDays(long long days, int &year, int &month, int &day)
{
    days += 730425;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
}

long long toSeconds(const LogTime &t)
{
    return daysFromCivil(t.year, t.month, t.day) * SecondsPerDay + t.hour * 3600LL +
           t.minute * 60LL + t.second;
}

LogTime fromSeconds(long long seconds)
{
    long long days = seconds / SecondsPerDay;
    long long rest = seconds % SecondsPerDay;
    if (rest < 0) {
        rest += SecondsPerDay;
        --days;
    }
    LogTime t;
    civilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

Record header(std::uint32_t index, const LogTime &time, unsigned char kind)
{
    Record record{};
    writeU32(&record[0], index);
    writeU32(&record[4], packLogTime(time));
    record[8] = kind;
    return record;
}

// Copies a NUL-terminated text from offset 10; a text that reaches byte 125
// is cut there and has no NUL.
void putText(Record &record, const std::string &text)
{
    const size_t room = ChecksumOffset - 10;
    const size_t n = std::min(text.size(), room);
    std::copy_n(text.begin(), n, record.begin() + 10);
    if (n < room)
        record[10 + n] = 0;
}

// Writes an optional block at p as far as it fits before the checksum and
// returns the position after it; a block whose marker does not fit is left out.
int putBlock(Record &record, int p, const std::vector<unsigned char> &block)
{
    if (p + 2 > ChecksumOffset)
        return p;
    const int n = std::min(static_cast<int>(block.size()), ChecksumOffset - p);
    std::copy_n(block.begin(), n, record.begin() + p);
    return p + static_cast<int>(block.size());
}

std::vector<unsigned char> soilBytes(const SoilBlock &soil)
{
    std::vector<unsigned char> bytes(28, 0);
    writeU16(&bytes[0], SoilMarker);
    writeU16(&bytes[2], 6); // probes fitted; not read by the program
    for (int i = 0; i < 6; ++i) {
        writeU16(&bytes[4 + 2 * i], static_cast<std::uint16_t>(soil.moisture[i]));
        writeU16(&bytes[16 + 2 * i], static_cast<std::uint16_t>(soil.temperature[i]));
    }
    return bytes;
}

std::vector<unsigned char> solvaneBytes(const SolvaneBlock &solvane)
{
    std::vector<unsigned char> bytes(8, 0);
    writeU16(&bytes[0], SolvaneMarker);
    writeU16(&bytes[2], 1);
    writeU16(&bytes[4], static_cast<std::uint16_t>(solvane.filtered));
    writeU16(&bytes[6], static_cast<std::uint16_t>(solvane.sensor));
    return bytes;
}

std::vector<unsigned char> globeBytes(float value)
{
    std::vector<unsigned char> bytes(6, 0);
    writeU16(&bytes[0], GlobeMarker);
    writeFloat(&bytes[2], value);
    return bytes;
}

} // namespace

std::uint32_t packLogTime(const LogTime &t)
{
    return (std::uint32_t(t.year - 2000) & 0x3F) << 26 | (std::uint32_t(t.month) & 0x0F) << 22 |
           (std::uint32_t(t.day) & 0x1F) << 17 | (std::uint32_t(t.hour) & 0x1F) << 12 |
           (std::uint32_t(t.minute) & 0x3F) << 6 | (std::uint32_t(t.second) & 0x3F);
}

LogTime addSeconds(const LogTime &time, long long seconds)
{
    return fromSeconds(toSeconds(time) + seconds);
}

std::uint16_t recordChecksum(const Record &record)
{
    int sum = 0;
    for (int i = 0; i < ChecksumOffset; ++i)
        sum += static_cast<signed char>(record[i]);
    return static_cast<std::uint16_t>(sum);
}

bool checksumValid(const Record &record)
{
    return readU16(&record[ChecksumOffset]) == recordChecksum(record);
}

void sealRecord(Record &record)
{
    writeU16(&record[ChecksumOffset], recordChecksum(record));
}

Record makeMeasurementRecord(std::uint32_t index, const LogTime &time, const Measurement &m)
{
    Record r = header(index, time, MeasurementKind);
    auto s16 = [&r](int offset, std::int16_t value) {
        writeU16(&r[offset], static_cast<std::uint16_t>(value));
    };
    writeFloat(&r[9], m.wind);
    s16(13, m.direction);
    writeFloat(&r[15], m.wind2Min);
    s16(19, m.direction2Min);
    writeFloat(&r[21], m.wind10Min);
    s16(25, m.direction10Min);
    writeFloat(&r[27], m.gust);
    s16(31, m.gustDirection);
    s16(33, m.wdsStatus);
    writeFloat(&r[35], m.temperature);
    writeFloat(&r[39], m.humidity);
    writeFloat(&r[43], m.pressure);
    writeFloat(&r[47], m.pressureTemperature);
    s16(51, m.trend);
    s16(53, m.tphStatus);
    writeFloat(&r[55], m.rainIncrement);
    writeFloat(&r[59], m.rainDay);
    writeFloat(&r[63], m.rainRate);
    writeFloat(&r[67], m.analog1);
    writeFloat(&r[71], m.analog2);
    s16(75, m.batteryMillivolts);
    s16(77, m.inputMillivolts);
    s16(79, m.chargerStatus);
    s16(81, m.moduleTemperature);
    s16(83, m.lightningStrikes);
    s16(85, m.lightningDistance);
    s16(87, m.lightningNoise);
    s16(89, m.lightningDisturber);
    int p = BlocksOffset;
    if (m.soil)
        p = putBlock(r, p, soilBytes(*m.soil));
    if (m.solvane)
        p = putBlock(r, p, solvaneBytes(*m.solvane));
    if (m.globe1)
        p = putBlock(r, p, globeBytes(*m.globe1));
    if (m.globe2)
        putBlock(r, p, globeBytes(*m.globe2));
    sealRecord(r);
    return r;
}

Record makeBootRecord(std::uint32_t index, const LogTime &time, std::uint16_t flags,
                      std::int16_t cmVersion, std::int16_t wdsVersion, std::int16_t tphVersion)
{
    Record r = header(index, time, InfoKind);
    r[9] = BootInfo;
    writeU16(&r[10], flags);
    writeU16(&r[12], static_cast<std::uint16_t>(cmVersion));
    writeU16(&r[14], static_cast<std::uint16_t>(wdsVersion));
    writeU16(&r[16], static_cast<std::uint16_t>(tphVersion));
    sealRecord(r);
    return r;
}

Record makeClockUpdateRecord(std::uint32_t index, const LogTime &time, const LogTime &newTime,
                             std::int16_t value)
{
    Record r = header(index, time, InfoKind);
    r[9] = ClockUpdateInfo;
    writeU32(&r[10], packLogTime(newTime));
    writeU16(&r[14], static_cast<std::uint16_t>(value));
    sealRecord(r);
    return r;
}

Record makeTextRecord(std::uint32_t index, const LogTime &time, const std::string &text)
{
    Record r = header(index, time, InfoKind);
    r[9] = TextInfo;
    putText(r, text);
    sealRecord(r);
    return r;
}

Record makeErrorRecord(std::uint32_t index, const LogTime &time, std::int8_t code,
                       const std::string &text)
{
    Record r = header(index, time, ErrorKind);
    r[9] = static_cast<unsigned char>(code);
    putText(r, text);
    sealRecord(r);
    return r;
}

Record makeRecord(std::uint32_t index, const LogTime &time, unsigned char kind,
                  const std::vector<unsigned char> &body)
{
    Record r = header(index, time, kind);
    std::copy_n(body.begin(), std::min<size_t>(body.size(), ChecksumOffset - 9), r.begin() + 9);
    sealRecord(r);
    return r;
}

Record erasedRecord()
{
    Record r;
    r.fill(0xFF);
    return r;
}

namespace
{

// A small deterministic generator, so a seed gives the same log everywhere.
class Random
{
public:
    explicit Random(std::uint32_t seed) : state(seed * 0x9E3779B97F4A7C15ULL + 1) {}
    std::uint32_t next()
    {
        state += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
    }
    double uniform() { return next() / 4294967296.0; }
    double between(double low, double high) { return low + (high - low) * uniform(); }
    int range(int low, int high)
    {
        return low + static_cast<int>(next() % unsigned(high - low + 1));
    }
    bool chance(double p) { return uniform() < p; }

private:
    std::uint64_t state;
};

const char *const InfoTexts[] = {"Log e-mailed",
                                 "FTP upload complete",
                                 "NorvaleLive update sent",
                                 "Weather Underground update sent",
                                 "Cell modem registered",
                                 "WiFi connected"};

struct ErrorText {
    std::int8_t code;
    const char *text;
};
const ErrorText ErrorTexts[] = {{-2, "Modem not responding"}, {3, "WDS timeout"},
                                {-5, "FTP login failed"},     {7, "TPH checksum error"},
                                {-12, "SMTP server refused"}, {1, "Battery low"}};

std::int16_t clampS16(double value)
{
    return static_cast<std::int16_t>(std::lround(std::clamp(value, -32768.0, 32767.0)));
}

// The weather the station measures, drifting from one record to the next.
class Weather
{
public:
    explicit Weather(Random &random) : random(random) {}

    Measurement measure(long long seconds, int intervalSeconds, const LogOptions &options,
                        int combination)
    {
        const double pi = 3.14159265358979;
        const double dayFraction =
            double((seconds % SecondsPerDay + SecondsPerDay) % SecondsPerDay) / SecondsPerDay;
        const double sun = std::max(0.0, std::sin(2 * pi * (dayFraction - 0.25)));
        const double cycle = std::sin(2 * pi * (dayFraction - 0.375));
        const long long day = seconds / SecondsPerDay;
        if (day != lastDay) {
            rainDay = 0;
            lastDay = day;
        }
        drift = std::clamp(drift + random.between(-0.25, 0.25), -4.0, 4.0);
        const double previousPressure = pressure;
        pressure = std::clamp(pressure + random.between(-0.3, 0.3), 975.0, 1040.0);
        windBase = std::clamp(windBase + random.between(-0.6, 0.6), 0.0, 14.0);
        direction = (direction + random.range(-25, 25) + 360) % 360;
        if (random.chance(raining ? 0.08 : 0.02))
            raining = !raining;
        if (random.chance(storm ? 0.2 : 0.005))
            storm = !storm;

        Measurement m;
        m.temperature = float(11 + 7 * cycle + drift + random.between(-0.2, 0.2));
        m.humidity = float(std::clamp(
            66 - 22 * cycle - 3 * drift + random.between(-2, 2) + (raining ? 25 : 0), 8.0, 100.0));
        m.pressure = float(pressure);
        m.pressureTemperature = float(m.temperature + 6 + 4 * sun);
        m.trend = pressure > previousPressure + 0.1   ? 1
                  : pressure < previousPressure - 0.1 ? -1
                                                      : 0;
        m.wind = float(std::max(0.0, windBase + random.between(-1.5, 1.5)));
        m.direction = std::int16_t(direction);
        m.wind2Min = float(std::max(0.0, windBase + random.between(-0.8, 0.8)));
        m.direction2Min = std::int16_t((direction + random.range(-10, 10) + 360) % 360);
        m.wind10Min = float(windBase);
        m.direction10Min = std::int16_t(direction);
        m.gust = float(m.wind * 1.35 + random.between(0, 2.5));
        m.gustDirection = std::int16_t((direction + random.range(-30, 30) + 360) % 360);
        if (raining) {
            m.rainIncrement = float(0.2 * random.range(0, 6));
            rainDay += m.rainIncrement;
        }
        m.rainDay = float(rainDay);
        m.rainRate = float(m.rainIncrement * 3600.0 / intervalSeconds);
        m.analog1 = float(10 + 3 * cycle + drift / 2);
        m.analog2 = float(m.temperature + 9 * sun);
        m.batteryMillivolts = clampS16(12350 + 650 * sun + random.between(-40, 40));
        m.inputMillivolts = clampS16(sun > 0.05 ? 17200 + 2000 * sun : random.between(0, 300));
        m.chargerStatus = sun > 0.05 ? (m.batteryMillivolts > 12900 ? 2 : 1) : 0;
        m.moduleTemperature = clampS16(m.temperature + 5 + 8 * sun);
        m.lightningNoise = std::int16_t(random.range(1, 3));
        if (storm) {
            m.lightningStrikes = std::int16_t(random.range(0, 14));
            m.lightningDistance = std::int16_t(random.range(4, 40));
            m.lightningDisturber = std::int16_t(random.range(0, 4));
        }

        const bool soil = options.everyBlockCombination ? combination & 1 : options.soil;
        const bool solvane = options.everyBlockCombination ? combination & 2 : options.solvane;
        const bool globe1 = options.everyBlockCombination ? combination & 4 : options.globe1;
        const bool globe2 = options.everyBlockCombination ? combination & 8 : options.globe2;
        if (soil) {
            SoilBlock block;
            for (int i = 0; i < 6; ++i) {
                block.moisture[i] = clampS16(2400 + 180 * i + 150 * drift + (raining ? 600 : 0));
                block.temperature[i] = clampS16(100 * (m.analog1 - 0.6 * i));
            }
            m.soil = block;
        }
        if (solvane)
            m.solvane =
                SolvaneBlock{clampS16(9000 * sun), clampS16(9000 * sun + random.between(-80, 80))};
        if (globe1)
            m.globe1 = float(m.temperature + 6 * sun + 0.5);
        if (globe2)
            m.globe2 = float(m.temperature + 7 * sun + 0.3);
        return m;
    }

private:
    Random &random;
    double drift = 0;
    double pressure = 1013.2;
    double windBase = 3;
    int direction = 225;
    bool raining = false;
    bool storm = false;
    double rainDay = 0;
    long long lastDay = -1;
};

} // namespace

std::vector<Record> generateLog(int count, std::uint32_t seed, const LogOptions &options)
{
    std::vector<Record> log;
    if (count <= 0)
        return log;
    log.reserve(static_cast<size_t>(count));
    Random random(seed);
    Weather weather(random);
    const int interval = std::max(options.intervalSeconds, 10);
    std::uint32_t index = options.firstIndex;
    long long t = toSeconds(options.start);
    int measurements = 0;
    int untilBoot = 0;
    auto add = [&](const Record &record) {
        if (static_cast<int>(log.size()) < count)
            log.push_back(record);
    };

    while (static_cast<int>(log.size()) < count) {
        if (options.events && untilBoot == 0) {
            // Power failed: the writes in flight were lost, then the module
            // booted on its own clock and the network corrected it.
            if (!log.empty() && random.chance(0.4)) {
                for (int i = random.range(1, 3); i > 0; --i)
                    add(erasedRecord());
            }
            const std::uint16_t flags = log.empty() ? 0x0001 : random.chance(0.5) ? 0x8001 : 0x0004;
            add(makeBootRecord(index++, fromSeconds(t), flags, 312, 105, 204));
            const int correction = random.range(-45, 45);
            t += 4;
            add(makeClockUpdateRecord(index++, fromSeconds(t), fromSeconds(t + correction),
                                      std::int16_t(correction)));
            t += correction + random.range(20, 90);
            untilBoot = random.range(400, 900);
        }
        add(makeMeasurementRecord(index++, fromSeconds(t),
                                  weather.measure(t, interval, options, measurements % 16)));
        ++measurements;
        if (options.events) {
            --untilBoot;
            const int offset = random.range(1, interval - 1);
            if (random.chance(0.03)) {
                add(makeTextRecord(index++, fromSeconds(t + offset),
                                   InfoTexts[random.range(0, 5)]));
            } else if (random.chance(0.012)) {
                const ErrorText &error = ErrorTexts[random.range(0, 5)];
                add(makeErrorRecord(index++, fromSeconds(t + offset), error.code, error.text));
            }
        }
        t += interval;
    }
    return log;
}

} // namespace sim
