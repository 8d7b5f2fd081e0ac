#ifndef SIM_SIMULATEDMODULE_H
#define SIM_SIMULATEDMODULE_H

#include "sim/firmwarereceiver.h"
#include "sim/logrecords.h"
#include "sim/parameterstore.h"
#include "sim/requestfaults.h"
#include "sim/simdevice.h"

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim
{

enum class Corruption { Once, Always };

// The Control Module behind the simulated bus: its parameters, identity,
// clock, log and firmware receiver, and handle(), which turns one output
// report into the input reports it answers with. Every member locks, so a
// test may look at the module while the program talks to it.
//
// Answers: byte 0 repeats the command code, except 0x05 (1 when a download
// range was open, 0 when not) and the log records of 0x04. A command code
// the module does not know, and a parameter command whose index lies
// outside the band of its type, are answered with byte 0 = 0xFF.
class SimulatedModule
{
public:
    static constexpr unsigned char RefusedCode = 0xFF;

    SimulatedModule();

    // Station configuration, serial number 20471, software version 312,
    // EEPROM version 12, empty log, no faults, firmware receiver idle.
    void reset();

    std::vector<InputReport> handle(const unsigned char *payload);

    // --- identity; versions are 16-bit values, read back sign-extended ---
    void setSoftwareVersion(int version);
    int softwareVersion() const;
    void setSerialNumber(std::uint32_t serial);
    std::uint32_t serialNumber() const;
    void setEepromVersion(int version);
    int eepromVersion() const;

    // --- parameters by index ---
    float floatParameter(int index) const;
    std::uint32_t floatParameterBits(int index) const;
    void setFloatParameter(int index, float value);
    void setFloatParameterBits(int index, std::uint32_t bits);
    // The raw 16 bits as stored; a written -1 reads 0xFFFF.
    std::uint16_t int16Parameter(int index) const;
    void setInt16Parameter(int index, int value); // low 16 bits kept
    std::string textParameter(int index) const;   // raw bytes
    void setTextParameter(int index, const std::string &bytes);
    // Parameter 240: 1 when the cell modem is switched off, 0 when on.
    int cellSwitch() const;

    // --- service commands ---
    // The 8 bytes of the last clock command (0x08 first), if one came.
    std::optional<std::array<unsigned char, 8>> lastClockFrame() const;
    int clockSetCount() const;
    int serialSetCount() const;
    int eraseCount() const;
    // Requests handled, firmware data frames not counted.
    int requestCount() const;

    // --- log ---
    void addRecord(const Record &record);
    void addRecords(const std::vector<Record> &records);
    void clearRecords();
    std::uint32_t recordCount() const;
    std::vector<Record> records() const;
    // Records before the mark have been confirmed by a finished download;
    // 0x03 offers the ones from it on.
    std::uint32_t newMark() const;
    void setNewMark(std::uint32_t mark);
    std::uint32_t newRecordCount() const;
    // 0x02 and 0x03 offer this many records whatever the log holds; slots
    // beyond the stored records are served as made-up measurements.
    void setOfferedRecordCount(std::uint32_t count);
    void clearOfferedRecordCount();
    // Slot k of the range the last 0x02 or 0x03 opened goes out with a bad
    // checksum (byte 125 altered), the next time it is sent or every time.
    void corruptRecord(std::uint32_t slot, Corruption corruption);
    // Leaves the bus once it has sent this many more log records; 0 leaves
    // at the next fetch before any record. Negative cancels.
    void dropOffAfterRecords(int records);

    // --- firmware ---
    FirmwareVerdict firmwareVerdict() const;
    std::vector<unsigned char> firmwareImage() const; // the bytes received so far
    std::uint16_t announcedFirmwareChecksum() const;
    std::uint32_t announcedFirmwareSize() const;
    int firmwareFramesReceived() const;
    int firmwareStartCount() const;
    void setFirmwareEnding(FirmwareEnding ending);
    // The module takes this long to check and store a complete image.
    void setFirmwareVerdictDelay(int milliseconds);
    // An upload with no data for this long is abandoned (10 s at first).
    void setFirmwareIdleLimit(int milliseconds);

    // --- request faults ---
    void addFault(const RequestFault &fault);
    void staySilent(int requests, int command = AnyCommand);
    void answerWrongCode(int code, int times = 1, int command = AnyCommand);
    void answerShort(int bytes, int times = 1, int command = AnyCommand);
    void answerLate(int milliseconds, int times = 1, int command = AnyCommand);
    void clearFaults();

private:
    struct Range {
        bool open = false;
        std::uint32_t start = 0;
        std::uint32_t count = 0;
        std::uint32_t sentPrefix = 0; // slots 0.. sent without a gap
    };

    std::vector<InputReport> carryOut(const unsigned char *payload, Clock::time_point now);
    std::vector<InputReport> parameterCommand(const unsigned char *payload);
    std::vector<InputReport> openRange(unsigned char code);
    std::vector<InputReport> fetchRecords(const unsigned char *payload);
    std::vector<InputReport> concludeDownload();
    Record recordAt(std::uint32_t position) const;

    mutable std::mutex mutex;
    ParameterStore parameters;
    std::uint16_t softwareVersionBits = 0;
    std::uint16_t eepromVersionBits = 0;
    std::uint32_t serial = 0;
    std::optional<std::array<unsigned char, 8>> clockFrame;
    int clockSets = 0;
    int serialSets = 0;
    int erases = 0;
    int requests = 0;

    std::vector<Record> log;
    std::uint32_t mark = 0;
    std::optional<std::uint32_t> offeredOverride;
    Range range;
    std::map<std::uint32_t, Corruption> corruptions;
    int recordsUntilDropOff = -1;

    FirmwareReceiver firmware;
    RequestFaults faults;
};

// The module behind the simulated bus.
SimulatedModule &module();
// A fresh start for each test: the bus reset and unpaced, the module reset
// and answering on it, and plugged in unless asked otherwise.
SimulatedModule &freshModule(bool plugged = true);

} // namespace sim

#endif
