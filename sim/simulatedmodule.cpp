#include "sim/simulatedmodule.h"

#include "sim/bytes.h"
#include "sim/commands.h"

#include <algorithm>

namespace sim
{
namespace
{

constexpr int CellSwitchIndex = 240;

// The serial number set command carries this byte after the code.
constexpr unsigned char SerialSetKey = 0xA5;

int signExtend(std::uint16_t bits)
{
    return bits >= 0x8000 ? int(bits) - 0x10000 : int(bits);
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
    case SoftwareVersionCode:
        return {reply16(code, softwareVersionBits)};
    case EepromVersionCode:
        return {reply16(code, eepromVersionBits)};
    case SerialNumberCode:
        if (payload[1] == SerialSetKey) {
            serial = readU32(payload + 2);
            ++serialSets;
        }
        return {reply32(code, serial)};
    case LogStartFullCode:
    case LogStartNewCode:
        return openRange(code);
    case LogFetchCode:
        return fetchRecords(payload);
    case LogFinishCode:
        return concludeDownload();
    case LogEraseCode:
        log.clear();
        mark = 0;
        range = Range();
        ++erases;
        return {reply(code)};
    case SetClockCode: {
        std::array<unsigned char, 8> frame;
        std::copy_n(payload, frame.size(), frame.begin());
        clockFrame = frame;
        ++clockSets;
        return {reply(code)};
    }
    case FirmwareStartCode:
        return firmware.start(payload, now);
    case ReadFloatCode:
    case WriteFloatCode:
    case ReadInt16Code:
    case WriteInt16Code:
    case ReadTextCode:
    case WriteTextCode:
        return parameterCommand(payload);
    default:
        return {reply(RefusedCode)};
    }
}

std::vector<InputReport> SimulatedModule::parameterCommand(const unsigned char *payload)
{
    const unsigned char code = payload[0];
    const int index = readU16(payload + 1);
    const bool known = (code <= WriteFloatCode && ParameterStore::isFloatIndex(index)) ||
                       ((code == ReadInt16Code || code == WriteInt16Code) &&
                        ParameterStore::isInt16Index(index)) ||
                       (code >= ReadTextCode && ParameterStore::isTextIndex(index));
    InputReport report = reply(known ? code : RefusedCode);
    writeU16(&report.bytes[1], static_cast<std::uint16_t>(index));
    if (!known)
        return {report};

    switch (code) {
    case ReadFloatCode:
        writeU32(&report.bytes[3], parameters.floatBits(index));
        break;
    case WriteFloatCode:
        parameters.setFloatBits(index, readU32(payload + 3));
        break;
    case ReadInt16Code:
        writeU16(&report.bytes[3], parameters.int16(index));
        break;
    case WriteInt16Code:
        parameters.setInt16(index, readU16(payload + 3));
        break;
    case ReadTextCode: {
        const std::string text = parameters.text(index);
        report.bytes[3] = static_cast<unsigned char>(text.size());
        std::copy(text.begin(), text.end(), report.bytes.begin() + 4);
        break;
    }
    case WriteTextCode: {
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
