#include "sim/firmwarereceiver.h"

#include "sim/bytes.h"
#include "sim/commands.h"

#include <algorithm>

namespace sim
{
void FirmwareReceiver::reset()
{
    *this = FirmwareReceiver();
}

bool FirmwareReceiver::receiving(Clock::time_point now)
{
    if (verdict != FirmwareVerdict::Receiving)
        return false;
    if (now - lastFrame > idleLimit) {
        verdict = FirmwareVerdict::Abandoned;
        return false;
    }
    return true;
}

std::vector<InputReport> FirmwareReceiver::start(const unsigned char *payload,
                                                 Clock::time_point now)
{
    ++startsReceived;
    announcedChecksum = readU16(payload + 1);
    announcedSize = readU32(payload + 3);
    image.clear();
    framesReceived = 0;
    if (announcedSize == 0 || announcedSize > Capacity) {
        verdict = FirmwareVerdict::Refused;
        return {reply(RefusedCode)};
    }
    image.reserve(announcedSize);
    verdict = FirmwareVerdict::Receiving;
    lastFrame = now;
    return {reply(StartCode)};
}

std::vector<InputReport> FirmwareReceiver::takeFrame(const unsigned char *payload,
                                                     Clock::time_point now)
{
    ++framesReceived;
    lastFrame = now;
    const size_t wanted = std::min<size_t>(64, announcedSize - image.size());
    image.insert(image.end(), payload, payload + wanted);
    if (image.size() < announcedSize)
        return {};

    std::uint16_t sum = 0;
    for (unsigned char byte : image)
        sum = static_cast<std::uint16_t>(sum + byte);
    const bool accepted = sum == announcedChecksum && ending != FirmwareEnding::Reject;
    verdict = accepted ? FirmwareVerdict::Accepted : FirmwareVerdict::Rejected;
    if (ending == FirmwareEnding::Silent)
        return {};
    InputReport verdictReport = reply(accepted ? AcceptedCode : RejectedCode);
    verdictReport.delay = verdictDelay;
    return {verdictReport};
}

} // namespace sim
