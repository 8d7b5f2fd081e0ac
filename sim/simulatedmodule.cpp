#include "sim/simulatedmodule.h"

#include "sim/bytes.h"

#include <algorithm>

namespace sim
{
namespace
{

constexpr int CellSwitchIndex = 240;

enum Code : unsigned char {
    SoftwareVersion = 0x00,
    SerialNumber = 0x01,
    LogStartFull = 0x02,
    LogStartNew = 0x03,
    LogFetch = 0x04,
    LogFinish = 0x05,
    LogErase = 0x06,
    EepromVersion = 0x07,
    SetClock = 0x08,
    FirmwareStart = 0x09,
    ReadFloat = 0x10,
    WriteFloat = 0x11,
    ReadInt16 = 0x12,
    WriteInt16 = 0x13,
    ReadText = 0x14,
    WriteText = 0x15,
};

// The serial number set command carries this byte after the code.
constexpr unsigned char SerialSetKey = 0xA5;

InputReport reply(unsigned char code)
{
    InputReport report;
    report.bytes[0] = code;
    return report;
}

InputReport reply16(unsigned char code, std::uint16_t value)
{
    InputReport report = reply(code);
    writeU16(&report.bytes[1], value);
    return report;
}

InputReport reply32(unsigned char code, std::uint32_t value)
{
    InputReport report = reply(code);
    writeU32(&report.bytes[1], value);
    return report;
}

int signExtend(std::uint16_t bits)
{
    return bits >= 0x8000 ? int(bits) - 0x10000 : int(bits);
}

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

SimulatedModule::SimulatedModule()
{
    reset();
}

void SimulatedModule::reset()
{
    std::lock_guard<std::mutex> lock(mutex);
    parameters.loadStationConfiguration();
    softwareVersionBits = 312;
    eepromVersionBits = 12;
    serial = 20471;
    clockFrame.reset();
    clockSets = serialSets = erases = requests = 0;
    log.clear();
    mark = 0;
    offeredOverride.reset();
    range = Range();
    corruptions.clear();
    recordsUntilDropOff = -1;
    firmware.reset();
    faults.clear();
}

std::vector<InputReport> SimulatedModule::handle(const unsigned char *payload)
{
    std::lock_guard<std::mutex> lock(mutex);
    const Clock::time_point now = Clock::now();
    if (firmware.receiving(now))
        return firmware.takeFrame(payload, now);

    ++requests;
    RequestFault fault;
    if (faults.take(payload[0], fault)) {
        if (fault.kind == FaultKind::Silent)
            return {};
        if (fault.kind == FaultKind::WrongCode)
            return {reply(static_cast<unsigned char>(fault.value))};
        return RequestFaults::apply(fault, carryOut(payload, now));
    }
    return carryOut(payload, now);
}

std::vector<InputReport> SimulatedModule::carryOut(const unsigned char *payload,
                                                   Clock::time_point now)
{
    const unsigned char code = payload[0];
    switch (code) {
    case SoftwareVersion:
        return {reply16(code, softwareVersionBits)};
    case EepromVersion:
        return {reply16(code, eepromVersionBits)};
    case SerialNumber:
        if (payload[1] == SerialSetKey) {
            serial = readU32(payload + 2);
            ++serialSets;
        }
        return {reply32(code, serial)};
    case LogStartFull:
    case LogStartNew:
        return openRange(code);
    case LogFetch:
        return fetchRecords(payload);
    case LogFinish:
        return concludeDownload();
    case LogErase:
        log.clear();
        mark = 0;
        range = Range();
        ++erases;
        return {reply(code)};
    case SetClock: {
        std::array<unsigned char, 8> frame;
        std::copy_n(payload, frame.size(), frame.begin());
        clockFrame = frame;
        ++clockSets;
        return {reply(code)};
    }
    case FirmwareStart:
        return firmware.start(payload, now);
    case ReadFloat:
    case WriteFloat:
    case ReadInt16:
    case WriteInt16:
    case ReadText:
    case WriteText:
        return parameterCommand(payload);
    default:
        return {reply(RefusedCode)};
    }
}

std::vector<InputReport> SimulatedModule::parameterCommand(const unsigned char *payload)
{
    const unsigned char code = payload[0];
    const int index = readU16(payload + 1);
    const bool known =
        (code <= WriteFloat && ParameterStore::isFloatIndex(index)) ||
        ((code == ReadInt16 || code == WriteInt16) && ParameterStore::isInt16Index(index)) ||
        (code >= ReadText && ParameterStore::isTextIndex(index));
    InputReport report = reply(known ? code : RefusedCode);
    writeU16(&report.bytes[1], static_cast<std::uint16_t>(index));
    if (!known)
        return {report};

    switch (code) {
    case ReadFloat:
        writeU32(&report.bytes[3], parameters.floatBits(index));
        break;
    case WriteFloat:
        parameters.setFloatBits(index, readU32(payload + 3));
        break;
    case ReadInt16:
        writeU16(&report.bytes[3], parameters.int16(index));
        break;
    case WriteInt16:
        parameters.setInt16(index, readU16(payload + 3));
        break;
    case ReadText: {
        const std::string text = parameters.text(index);
        report.bytes[3] = static_cast<unsigned char>(text.size());
        std::copy(text.begin(), text.end(), report.bytes.begin() + 4);
        break;
    }
    case WriteText: {
        // The text runs to its NUL; the module keeps at most 59 bytes of it.
        const unsigned char *text = payload + 4;
        const auto end = std::find(text, text + ParameterStore::MaxTextBytes, 0);
        parameters.setText(index, std::string(text, end));
        break;
    }
    default:
        break;
    }
    return {report};
}

std::vector<InputReport> SimulatedModule::openRange(unsigned char code)
{
    const std::uint32_t stored = static_cast<std::uint32_t>(log.size());
    range = Range();
    range.open = true;
    range.start = code == LogStartFull ? 0 : std::min(mark, stored);
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

void SimulatedModule::setSoftwareVersion(int version)
{
    std::lock_guard<std::mutex> lock(mutex);
    softwareVersionBits = static_cast<std::uint16_t>(version);
}

int SimulatedModule::softwareVersion() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return signExtend(softwareVersionBits);
}

void SimulatedModule::setSerialNumber(std::uint32_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    serial = value;
}

std::uint32_t SimulatedModule::serialNumber() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return serial;
}

void SimulatedModule::setEepromVersion(int version)
{
    std::lock_guard<std::mutex> lock(mutex);
    eepromVersionBits = static_cast<std::uint16_t>(version);
}

int SimulatedModule::eepromVersion() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return signExtend(eepromVersionBits);
}

float SimulatedModule::floatParameter(int index) const
{
    return bitsToFloat(floatParameterBits(index));
}

std::uint32_t SimulatedModule::floatParameterBits(int index) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return parameters.floatBits(index);
}

void SimulatedModule::setFloatParameter(int index, float value)
{
    setFloatParameterBits(index, floatToBits(value));
}

void SimulatedModule::setFloatParameterBits(int index, std::uint32_t bits)
{
    std::lock_guard<std::mutex> lock(mutex);
    parameters.setFloatBits(index, bits);
}

std::uint16_t SimulatedModule::int16Parameter(int index) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return parameters.int16(index);
}

void SimulatedModule::setInt16Parameter(int index, int value)
{
    std::lock_guard<std::mutex> lock(mutex);
    parameters.setInt16(index, static_cast<std::uint16_t>(value));
}

std::string SimulatedModule::textParameter(int index) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return parameters.text(index);
}

void SimulatedModule::setTextParameter(int index, const std::string &bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    parameters.setText(index, bytes);
}

int SimulatedModule::cellSwitch() const
{
    return signExtend(int16Parameter(CellSwitchIndex));
}

std::optional<std::array<unsigned char, 8>> SimulatedModule::lastClockFrame() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return clockFrame;
}

int SimulatedModule::clockSetCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return clockSets;
}

int SimulatedModule::serialSetCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return serialSets;
}

int SimulatedModule::eraseCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return erases;
}

int SimulatedModule::requestCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return requests;
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

FirmwareVerdict SimulatedModule::firmwareVerdict() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return firmware.verdict;
}

std::vector<unsigned char> SimulatedModule::firmwareImage() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return firmware.image;
}

std::uint16_t SimulatedModule::announcedFirmwareChecksum() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return firmware.announcedChecksum;
}

std::uint32_t SimulatedModule::announcedFirmwareSize() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return firmware.announcedSize;
}

int SimulatedModule::firmwareFramesReceived() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return firmware.framesReceived;
}

int SimulatedModule::firmwareStartCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return firmware.startsReceived;
}

void SimulatedModule::setFirmwareEnding(FirmwareEnding ending)
{
    std::lock_guard<std::mutex> lock(mutex);
    firmware.ending = ending;
}

void SimulatedModule::setFirmwareVerdictDelay(int milliseconds)
{
    std::lock_guard<std::mutex> lock(mutex);
    firmware.verdictDelay = std::chrono::milliseconds(std::max(milliseconds, 0));
}

void SimulatedModule::setFirmwareIdleLimit(int milliseconds)
{
    std::lock_guard<std::mutex> lock(mutex);
    firmware.idleLimit = std::chrono::milliseconds(std::max(milliseconds, 0));
}

void SimulatedModule::addFault(const RequestFault &fault)
{
    std::lock_guard<std::mutex> lock(mutex);
    faults.add(fault);
}

void SimulatedModule::staySilent(int requests, int command)
{
    addFault({FaultKind::Silent, 0, command, 0, requests});
}

void SimulatedModule::answerWrongCode(int code, int times, int command)
{
    addFault({FaultKind::WrongCode, code, command, 0, times});
}

void SimulatedModule::answerShort(int bytes, int times, int command)
{
    addFault({FaultKind::Short, bytes, command, 0, times});
}

void SimulatedModule::answerLate(int milliseconds, int times, int command)
{
    addFault({FaultKind::Late, milliseconds, command, 0, times});
}

void SimulatedModule::clearFaults()
{
    std::lock_guard<std::mutex> lock(mutex);
    faults.clear();
}

SimulatedModule &module()
{
    static SimulatedModule instance;
    return instance;
}

SimulatedModule &freshModule(bool plugged)
{
    reset();
    module().reset();
    setReplyHandler([](const unsigned char *payload) { return module().handle(payload); });
    if (plugged)
        plug();
    return module();
}

} // namespace sim
