#ifndef SIM_COMMANDS_H
#define SIM_COMMANDS_H

#include "sim/bytes.h"
#include "sim/simdevice.h"

// The command codes the module knows, and its one-report answers: a code in
// byte 0, a value after it, the rest zero.
namespace sim
{

enum CommandCode : unsigned char {
    SoftwareVersionCode = 0x00,
    SerialNumberCode = 0x01,
    LogStartFullCode = 0x02,
    LogStartNewCode = 0x03,
    LogFetchCode = 0x04,
    LogFinishCode = 0x05,
    LogEraseCode = 0x06,
    EepromVersionCode = 0x07,
    SetClockCode = 0x08,
    FirmwareStartCode = 0x09,
    FirmwareAcceptedCode = 0x0A,
    FirmwareRejectedCode = 0x0B,
    ReadFloatCode = 0x10,
    WriteFloatCode = 0x11,
    ReadInt16Code = 0x12,
    WriteInt16Code = 0x13,
    ReadTextCode = 0x14,
    WriteTextCode = 0x15,
    // Answers a command or parameter index the module does not know.
    RefusedCode = 0xFF,
};

inline InputReport reply(unsigned char code)
{
    InputReport report;
    report.bytes[0] = code;
    return report;
}

inline InputReport reply16(unsigned char code, std::uint16_t value)
{
    InputReport report = reply(code);
    writeU16(&report.bytes[1], value);
    return report;
}

inline InputReport reply32(unsigned char code, std::uint32_t value)
{
    InputReport report = reply(code);
    writeU32(&report.bytes[1], value);
    return report;
}

} // namespace sim

#endif
