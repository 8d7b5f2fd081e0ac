#ifndef SIM_FIRMWARERECEIVER_H
#define SIM_FIRMWARERECEIVER_H

#include "sim/simdevice.h"

#include <cstdint>
#include <vector>

// The module's side of a firmware upload. A start command announces the
// image's checksum (the sum of its bytes, unsigned, modulo 65536) and size;
// the module answers 0x09 and takes every following output report as raw
// image data, 64 bytes each, until it holds exactly the announced number of
// bytes. It then answers 0x0A when the checksum matches and 0x0B when not.
namespace sim
{

enum class FirmwareVerdict {
    None,      // no upload yet
    Receiving, // start accepted, image incomplete
    Accepted,  // image complete, checksum matched
    Rejected,  // image complete, checksum differs
    Refused,   // the start announced no bytes, or more than the module holds
    Abandoned, // no data came for longer than the idle limit
};

// How the module ends an upload whose image is complete.
enum class FirmwareEnding {
    ByChecksum, // 0x0A or 0x0B as the checksum says
    Reject,     // 0x0B whatever the checksum says
    Silent,     // no answer at all
};

class FirmwareReceiver
{
public:
    static constexpr std::uint32_t Capacity = 262144;
    static constexpr unsigned char StartCode = 0x09;
    static constexpr unsigned char AcceptedCode = 0x0A;
    static constexpr unsigned char RejectedCode = 0x0B;
    static constexpr unsigned char RefusedCode = 0xFF;

    void reset();

    // True while data frames are expected. An upload left idle longer than
    // the limit is abandoned here, so the module listens for commands again.
    bool receiving(Clock::time_point now);
    std::vector<InputReport> start(const unsigned char *payload, Clock::time_point now);
    std::vector<InputReport> takeFrame(const unsigned char *payload, Clock::time_point now);

    FirmwareEnding ending = FirmwareEnding::ByChecksum;
    std::chrono::milliseconds verdictDelay{0};
    std::chrono::milliseconds idleLimit{10000};

    FirmwareVerdict verdict = FirmwareVerdict::None;
    std::vector<unsigned char> image;
    std::uint16_t announcedChecksum = 0;
    std::uint32_t announcedSize = 0;
    int framesReceived = 0;
    int startsReceived = 0;

private:
    Clock::time_point lastFrame;
};

} // namespace sim

#endif
