#ifndef SIMDEVICE_H
#define SIMDEVICE_H

#include <array>
#include <chrono>
#include <functional>
#include <vector>

// The simulated USB bus that stands in for hidapi in the tests and the demo:
// one Control Module that can be plugged in and out, every output report it
// receives recorded, and input reports queued for whoever holds it open.
namespace sim {

using Report = std::array<unsigned char, 64>;
using Clock = std::chrono::steady_clock;

struct WrittenReport {
    Clock::time_point time;
    std::vector<unsigned char> bytes; // as handed to hid_write, report ID first
};

// Turns the 64 data bytes of one output report into the input reports the
// module answers with.
using Responder = std::function<std::vector<Report>(const unsigned char *payload)>;

void plug();
// After this every open handle is stale: a pending or new read returns -1,
// and hid_open fails until the module is plugged in again.
void unplug();
bool isPlugged();

void setResponder(Responder responder);
void queueInputReport(const unsigned char *data, int length);
// Input reports queued that the port has not read yet.
int pendingInputReports();

std::vector<WrittenReport> writtenReports();
void clearWrittenReports();
int openCount();

// Unplugged, nothing queued or recorded, no responder.
void reset();

} // namespace sim

#endif
