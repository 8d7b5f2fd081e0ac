#ifndef SIM_LOGRECORDS_H
#define SIM_LOGRECORDS_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The module's log records: 128 bytes each, big-endian, a packed date and
// time at byte 4, the kind at byte 8, and at 126..127 the sum of bytes
// 0..125 taken as signed bytes. Builders for every kind with chosen field
// values, and a generator of realistic logs.
namespace sim
{

constexpr int RecordSize = 128;
using Record = std::array<unsigned char, RecordSize>;

enum RecordKind : unsigned char { InfoKind = 0, ErrorKind = 1, MeasurementKind = 2 };
enum InfoSubKind : unsigned char { BootInfo = 0, ClockUpdateInfo = 1, TextInfo = 2 };

// Block markers of the optional measurement blocks.
constexpr std::uint16_t SoilMarker = 0xAA01;
constexpr std::uint16_t SolvaneMarker = 0xAA10;
constexpr std::uint16_t GlobeMarker = 0xAA20;

// Fields as the module packs them; each is masked to its width, so a test
// can store a month of 0 or an hour of 25 on purpose.
struct LogTime {
    int year = 2024;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};
std::uint32_t packLogTime(const LogTime &time);
// Calendar arithmetic on a valid time.
LogTime addSeconds(const LogTime &time, long long seconds);

// Sum of bytes 0..125, each taken as a signed byte, modulo 65536.
std::uint16_t recordChecksum(const Record &record);
bool checksumValid(const Record &record);
// Writes the checksum into bytes 126..127.
void sealRecord(Record &record);

struct SoilBlock {
    std::array<std::int16_t, 6> moisture{};    // hundredths
    std::array<std::int16_t, 6> temperature{}; // hundredths
};
struct SolvaneBlock {
    std::int16_t filtered = 0; // tenths
    std::int16_t sensor = 0;   // tenths
};

struct Measurement {
    float wind = 0;
    std::int16_t direction = 0;
    float wind2Min = 0;
    std::int16_t direction2Min = 0;
    float wind10Min = 0;
    std::int16_t direction10Min = 0;
    float gust = 0;
    std::int16_t gustDirection = 0;
    std::int16_t wdsStatus = 0;
    float temperature = 0;
    float humidity = 0;
    float pressure = 0;
    float pressureTemperature = 0;
    std::int16_t trend = 0;
    std::int16_t tphStatus = 0;
    float rainIncrement = 0;
    float rainDay = 0;
    float rainRate = 0;
    float analog1 = 0;
    float analog2 = 0;
    std::int16_t batteryMillivolts = 0;
    std::int16_t inputMillivolts = 0;
    std::int16_t chargerStatus = 0;
    std::int16_t moduleTemperature = 0;
    std::int16_t lightningStrikes = 0;
    std::int16_t lightningDistance = 0;
    std::int16_t lightningNoise = 0;
    std::int16_t lightningDisturber = 0;
    // Written from byte 91 in this order. A block that does not fit before
    // the checksum is cut there, and one whose marker does not fit is left
    // out, as the module's own writer does.
    std::optional<SoilBlock> soil;
    std::optional<SolvaneBlock> solvane;
    std::optional<float> globe1;
    std::optional<float> globe2;
};

Record makeMeasurementRecord(std::uint32_t index, const LogTime &time, const Measurement &m);
Record makeBootRecord(std::uint32_t index, const LogTime &time, std::uint16_t flags,
                      std::int16_t cmVersion, std::int16_t wdsVersion, std::int16_t tphVersion);
Record makeClockUpdateRecord(std::uint32_t index, const LogTime &time, const LogTime &newTime,
                             std::int16_t value);
// Information record of sub-kind 2; the text (single bytes) ends with a NUL
// when it leaves room for one.
Record makeTextRecord(std::uint32_t index, const LogTime &time, const std::string &text);
Record makeErrorRecord(std::uint32_t index, const LogTime &time, std::int8_t code,
                       const std::string &text);
// Any kind with the body from byte 9 as given (cut at byte 125).
Record makeRecord(std::uint32_t index, const LogTime &time, unsigned char kind,
                  const std::vector<unsigned char> &body);
// A slot the module never wrote: every byte 0xFF.
Record erasedRecord();

struct LogOptions {
    std::uint32_t firstIndex = 0;
    LogTime start{2024, 3, 1, 0, 0, 0};
    int intervalSeconds = 600;
    // The optional blocks every measurement carries, as the configuration
    // of soil probes, Solvane and globe-temperature channels asks.
    bool soil = false;
    bool solvane = false;
    bool globe1 = false;
    bool globe2 = false;
    // Measurements cycle through all sixteen block combinations instead.
    bool everyBlockCombination = false;
    // Boots with their clock updates, text notes and errors between the
    // measurements, and now and then a few erased slots where writes were
    // lost to a power failure just before a boot.
    bool events = true;
};

// A plausible log: measurements every intervalSeconds with a daily cycle,
// weather that drifts, and events in time order. The same seed gives the
// same log. With events the first record is a boot, and time steps back
// only where a clock update corrected a fast clock.
std::vector<Record> generateLog(int count, std::uint32_t seed, const LogOptions &options = {});

} // namespace sim

#endif
