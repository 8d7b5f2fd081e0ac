#include "sim/simulatedmodule.h"

#include "sim/bytes.h"
#include "sim/commands.h"

#include <algorithm>

// The module's log: its download commands and the test's view of it.
namespace sim
{
namespace
{

// What the module sends for a slot beyond the records it holds when told
// to offer more than it has: a plain measurement of its own making.
Record madeUpRecord(std::uint32_t position)
{
    Measurement m;
    m.temperature = 10.0f + float(position % 100) / 10.0f;
    m.humidity = 60.0f;
    m.pressure = 1013.0f;
    m.batteryMillivolts = 12600;
    return makeMeasurementRecord(position, addSeconds(LogTime{2020, 1, 1}, 600LL * position), m);
}

} // namespace

std::vector<InputReport> SimulatedModule::openRange(unsigned char code)
{
    const std::uint32_t stored = static_cast<std::uint32_t>(log.size());
    range = Range();
    range.open = true;
    range.start = code == LogStartFullCode ? 0 : std::min(mark, stored);
    range.count = offeredOverride ? *offeredOverride : stored - range.start;
    return {reply32(code, range.count)};
}

Record SimulatedModule::recordAt(std::uint32_t position) const
{
    return position < log.size() ? log[position] : madeUpRecord(position);
}

std::vector<InputReport> SimulatedModule::fetchRecords(const unsigned char *payload)
{
    const std::uint32_t first = readU32(payload + 1);
    const std::uint32_t wanted = readU16(payload + 5);
    // A fetch with no download begun reads the whole log.
    Range served = range;
    if (!served.open) {
        served.start = 0;
        served.count = static_cast<std::uint32_t>(log.size());
    }

    std::vector<InputReport> answer;
    std::uint32_t slot = first;
    for (; slot < served.count && slot - first < wanted; ++slot) {
        if (recordsUntilDropOff == 0)
            break;
        Record record = recordAt(served.start + slot);
        const auto corrupt = corruptions.find(slot);
        if (corrupt != corruptions.end()) {
            record[125] ^= 0x01;
            if (corrupt->second == Corruption::Once)
                corruptions.erase(corrupt);
        }
        for (int half = 0; half < 2; ++half) {
            InputReport report;
            std::copy_n(record.begin() + 64 * half, 64, report.bytes.begin());
            answer.push_back(report);
        }
        if (recordsUntilDropOff > 0)
            --recordsUntilDropOff;
    }
    if (recordsUntilDropOff == 0) {
        InputReport dropOff;
        dropOff.length = 0;
        answer.push_back(dropOff);
        recordsUntilDropOff = -1;
    }
    if (range.open && first <= range.sentPrefix)
        range.sentPrefix = std::max(range.sentPrefix, slot);
    return answer;
}

std::vector<InputReport> SimulatedModule::concludeDownload()
{
    if (!range.open)
        return {reply(0)};
    // Only what was sent counts as taken: a download that stopped early
    // leaves the rest new for the next one.
    const std::uint32_t stored = static_cast<std::uint32_t>(log.size());
    const std::uint64_t end = std::uint64_t(range.start) + std::min(range.sentPrefix, range.count);
    mark = std::max<std::uint32_t>(
        mark, static_cast<std::uint32_t>(std::min<std::uint64_t>(end, stored)));
    range = Range();
    return {reply(1)};
}
void SimulatedModule::addRecord(const Record &record)
{
    std::lock_guard<std::mutex> lock(mutex);
    log.push_back(record);
}

void SimulatedModule::addRecords(const std::vector<Record> &records)
{
    std::lock_guard<std::mutex> lock(mutex);
    log.insert(log.end(), records.begin(), records.end());
}

void SimulatedModule::clearRecords()
{
    std::lock_guard<std::mutex> lock(mutex);
    log.clear();
    mark = 0;
    range = Range();
}

std::uint32_t SimulatedModule::recordCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<std::uint32_t>(log.size());
}

std::vector<Record> SimulatedModule::records() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return log;
}

std::uint32_t SimulatedModule::newMark() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return mark;
}

void SimulatedModule::setNewMark(std::uint32_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    mark = std::min(value, static_cast<std::uint32_t>(log.size()));
}

std::uint32_t SimulatedModule::newRecordCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<std::uint32_t>(log.size()) - std::min<std::uint32_t>(mark, log.size());
}

void SimulatedModule::setOfferedRecordCount(std::uint32_t count)
{
    std::lock_guard<std::mutex> lock(mutex);
    offeredOverride = count;
}

void SimulatedModule::clearOfferedRecordCount()
{
    std::lock_guard<std::mutex> lock(mutex);
    offeredOverride.reset();
}

void SimulatedModule::corruptRecord(std::uint32_t slot, Corruption corruption)
{
    std::lock_guard<std::mutex> lock(mutex);
    corruptions[slot] = corruption;
}

void SimulatedModule::dropOffAfterRecords(int records)
{
    std::lock_guard<std::mutex> lock(mutex);
    recordsUntilDropOff = std::max(records, -1);
}

} // namespace sim
