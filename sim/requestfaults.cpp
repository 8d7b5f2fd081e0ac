#include "sim/requestfaults.h"

#include <algorithm>

namespace sim
{

void RequestFaults::add(const RequestFault &fault)
{
    if (fault.times != 0)
        faults.push_back(fault);
}

void RequestFaults::clear()
{
    faults.clear();
}

bool RequestFaults::take(int command, RequestFault &hit)
{
    bool found = false;
    for (RequestFault &fault : faults) {
        if (fault.command != AnyCommand && fault.command != command)
            continue;
        if (fault.skip > 0) {
            --fault.skip;
            continue;
        }
        if (found)
            continue;
        hit = fault;
        found = true;
        if (fault.times > 0)
            --fault.times;
    }
    faults.erase(std::remove_if(faults.begin(), faults.end(),
                                [](const RequestFault &f) { return f.times == 0; }),
                 faults.end());
    return found;
}

std::vector<InputReport> RequestFaults::apply(const RequestFault &fault,
                                              std::vector<InputReport> answer)
{
    if (fault.kind == FaultKind::Late) {
        for (InputReport &report : answer)
            report.delay += std::chrono::milliseconds(fault.value);
    } else if (fault.kind == FaultKind::Short) {
        int left = std::max(fault.value, 0);
        std::vector<InputReport> kept;
        for (InputReport &report : answer) {
            if (left == 0)
                break;
            if (report.length == 0) {
                kept.push_back(report);
                continue;
            }
            report.length = std::min(report.length, left);
            left -= report.length;
            kept.push_back(report);
        }
        answer = kept;
    } else if (fault.kind == FaultKind::Burst) {
        InputReport filler;
        filler.bytes.fill(0xFF);
        const auto middle = answer.begin() + static_cast<std::ptrdiff_t>(answer.size() / 2);
        answer.insert(middle, static_cast<size_t>(std::max(fault.value, 0)), filler);
    }
    return answer;
}

} // namespace sim
