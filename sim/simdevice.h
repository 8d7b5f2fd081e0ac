#ifndef SIMDEVICE_H
#define SIMDEVICE_H

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

// The simulated USB bus that stands in for hidapi in the tests and the demo:
// one Control Module that can be plugged in and out, every output report it
// receives recorded, and input reports queued for whoever holds it open.
//
// hid_write runs on the program's GUI thread, hid_read_timeout on its port
// thread and these functions on the test's thread; one mutex guards the bus.
namespace sim
{

using Report = std::array<unsigned char, 64>;
using Clock = std::chrono::steady_clock;

struct WrittenReport {
    Clock::time_point time;
    std::vector<unsigned char> bytes; // as handed to hid_write, report ID first
};

// One input report as the module sends it.
struct InputReport {
    Report bytes{};
    // 1..64; a report of fewer bytes is read as such. 0 marks no report at
    // all: the module drops off the bus when the reader reaches this place.
    int length = 64;
    // Held back this long after the request that caused it. Reports come
    // out in the order they fall due, so a late one lets later ones pass.
    std::chrono::milliseconds delay{0};
};

// Turns the 64 data bytes of one output report into the input reports the
// module answers with.
using Responder = std::function<std::vector<Report>(const unsigned char *payload)>;
// The same with control over each report's length and timing.
using ReplyHandler = std::function<std::vector<InputReport>(const unsigned char *payload)>;

void plug();
// After this every open handle is stale: a pending or new read returns -1,
// and hid_open fails until the module is plugged in again.
void unplug();
bool isPlugged();

// Each replaces the other: at most one answers output reports.
void setResponder(Responder responder);
void setReplyHandler(ReplyHandler handler);

// Queues one input report of length bytes (1..64), available at once.
void queueInputReport(const unsigned char *data, int length);
// Input reports queued that the port has not read yet.
int pendingInputReports();

std::vector<WrittenReport> writtenReports();
void clearWrittenReports();
int openCount();

// How fast reports cross the bus. Unpaced hands every report over at once,
// so a long reply can outrun a slow reader; FullSpeed passes at most one
// 64-byte report per millisecond in each direction, as a full-speed USB
// device does, and a reply comes no sooner than a millisecond after its
// request.
enum class Pacing { Unpaced, FullSpeed };
void setPacing(Pacing pacing);
// The same with any gap between reports; zero is unpaced.
void setReportInterval(std::chrono::microseconds interval);

// Bus faults. The module leaves the bus (as unplug does) once the host has
// read n more input reports, or once n more output reports have reached it
// and been answered; n <= 0 cancels.
void dropOffAfterInputReports(int n);
void dropOffAfterOutputReports(int n);
// Queues count filler reports at once, as a module gone haywire would send;
// with count above 160 they hold more than the program's receive ring.
void floodInputReports(int count);

// The node hid_enumerate reports for the plugged-in module.
extern const char *const DevicePath;

// While error is not 0, the plugged-in module is listed by hid_enumerate
// but hid_open refuses it with the text hidapi gives for open() failing
// with that errno: EACCES for a user without access to the node, EBUSY or
// any other for the rest. 0 lets it open again.
void refuseOpens(int error);
// While on, every read of an open handle fails at once as if the module
// had gone, yet it stays on the bus and hid_open keeps succeeding: a module
// whose USB link breaks down right after each enumeration.
void failEveryRead(bool on);

// Unplugged, nothing queued or recorded, no responder, unpaced, no bus
// fault pending, opens neither refused nor failing.
void reset();

} // namespace sim

#endif
