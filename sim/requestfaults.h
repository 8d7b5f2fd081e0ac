#ifndef SIM_REQUESTFAULTS_H
#define SIM_REQUESTFAULTS_H

#include "sim/simdevice.h"

#include <vector>

// Faults in how the module answers requests. Firmware data frames are not
// requests and are never hit.
namespace sim
{

constexpr int AnyCommand = -1;
constexpr int Always = -1;

enum class FaultKind {
    Silent,    // the request is ignored: not carried out, not answered
    WrongCode, // not carried out; one report answers with byte 0 = value
    Short,     // carried out; only the first value bytes of the answer are sent (0: none)
    Late,      // carried out; the answer comes value milliseconds later
    // Carried out; value reports of 0xFF bytes, as erased flash reads, are
    // sent halfway through the answer (after its first half of reports).
    Burst,
};

struct RequestFault {
    FaultKind kind = FaultKind::Silent;
    int value = 0;
    int command = AnyCommand; // only requests whose byte 0 is this code
    int skip = 0;             // matching requests let through before the first hit
    int times = 1;            // matching requests hit after that, or Always
};

// Faults are checked in the order they were added. A request is hit by at
// most one fault, the first whose turn it is; a fault still letting requests
// through counts every request it matches.
class RequestFaults
{
public:
    void add(const RequestFault &fault);
    void clear();
    // The fault that hits a request with this command code, if any.
    bool take(int command, RequestFault &hit);
    // Applies a Short or Late fault to the module's answer.
    static std::vector<InputReport> apply(const RequestFault &fault,
                                          std::vector<InputReport> answer);

private:
    std::vector<RequestFault> faults;
};

} // namespace sim

#endif
