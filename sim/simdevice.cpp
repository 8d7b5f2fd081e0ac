#include "sim/simdevice.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <deque>
#include <mutex>
#include <thread>

// hidapi's opaque handle; here it only remembers which plug-in it belongs to.
struct hid_device_ {
    int plugGeneration;
};

namespace sim
{
namespace
{

struct Pending {
    InputReport report;
    Clock::time_point due;
};

struct Bus {
    std::mutex mutex;
    std::condition_variable inputArrived;
    bool plugged = false;
    int plugGeneration = 0;
    int opens = 0;
    // Ordered by due time; reports due at the same time keep their order.
    std::deque<Pending> input;
    std::vector<WrittenReport> written;
    ReplyHandler handler;
    Clock::duration interval{0};
    Clock::time_point nextWrite{};
    Clock::time_point nextRead{};
    int dropAfterInput = 0;
    int dropAfterOutput = 0;
    int openRefusal = 0; // errno that hid_open fails with, or 0
    bool readsFail = false;
    // hidapi's text for the last failed hid_open, kept for hid_error(NULL).
    std::wstring lastError;
};

Bus &bus()
{
    static Bus instance;
    return instance;
}

// The first bus frame boundary after t. Frames run on one fixed grid, so
// reports keep a steady pace however late a sleep wakes up.
Clock::time_point nextFrame(const Bus &b, Clock::time_point t)
{
    if (b.interval <= Clock::duration(0))
        return t;
    const Clock::duration sinceEpoch = t.time_since_epoch();
    return t + (b.interval - sinceEpoch % b.interval);
}

bool stale(const Bus &b, const hid_device *device)
{
    return !b.plugged || device->plugGeneration != b.plugGeneration;
}

// Callers hold the mutex.
void unplugLocked(Bus &b)
{
    b.plugged = false;
    b.input.clear();
    b.dropAfterInput = 0;
    b.dropAfterOutput = 0;
    b.inputArrived.notify_all();
}

void enqueueLocked(Bus &b, const InputReport &report, Clock::time_point due)
{
    auto later = std::upper_bound(b.input.begin(), b.input.end(), due,
                                  [](Clock::time_point t, const Pending &p) { return t < p.due; });
    b.input.insert(later, Pending{report, due});
    b.inputArrived.notify_all();
}

std::wstring widen(const std::string &text)
{
    return std::wstring(text.begin(), text.end());
}

} // namespace

const char *const DevicePath = "/dev/hidraw3";

void plug()
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    if (!bus().plugged) {
        bus().plugged = true;
        ++bus().plugGeneration;
        bus().input.clear();
    }
}

void unplug()
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    unplugLocked(bus());
}

bool isPlugged()
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    return bus().plugged;
}

void setResponder(Responder responder)
{
    ReplyHandler handler;
    if (responder) {
        handler = [responder](const unsigned char *payload) {
            std::vector<InputReport> replies;
            for (const Report &report : responder(payload))
                replies.push_back(InputReport{report, 64, {}});
            return replies;
        };
    }
    setReplyHandler(std::move(handler));
}

void setReplyHandler(ReplyHandler handler)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().handler = std::move(handler);
}

void queueInputReport(const unsigned char *data, int length)
{
    InputReport report;
    report.length = std::clamp(length, 1, 64);
    std::memcpy(report.bytes.data(), data, static_cast<size_t>(report.length));
    std::lock_guard<std::mutex> lock(bus().mutex);
    enqueueLocked(bus(), report, Clock::now());
}

int pendingInputReports()
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    return static_cast<int>(bus().input.size());
}

std::vector<WrittenReport> writtenReports()
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    return bus().written;
}

void clearWrittenReports()
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().written.clear();
}

int openCount()
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    return bus().opens;
}

void setPacing(Pacing pacing)
{
    setReportInterval(pacing == Pacing::FullSpeed ? std::chrono::microseconds(1000)
                                                  : std::chrono::microseconds(0));
}

void setReportInterval(std::chrono::microseconds interval)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().interval = std::max(interval, std::chrono::microseconds(0));
}

void dropOffAfterInputReports(int n)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().dropAfterInput = std::max(n, 0);
}

void dropOffAfterOutputReports(int n)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().dropAfterOutput = std::max(n, 0);
}

void floodInputReports(int count)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    const Clock::time_point now = Clock::now();
    for (int i = 0; i < count; ++i) {
        InputReport report;
        for (size_t j = 0; j < report.bytes.size(); ++j)
            report.bytes[j] = static_cast<unsigned char>(0xF0 ^ (i + static_cast<int>(j)));
        enqueueLocked(bus(), report, now);
    }
}

void refuseOpens(int error)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().openRefusal = error;
}

void failEveryRead(bool on)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().readsFail = on;
}

void reset()
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    unplugLocked(bus());
    bus().openRefusal = 0;
    bus().readsFail = false;
    bus().lastError.clear();
    ++bus().plugGeneration;
    bus().opens = 0;
    bus().written.clear();
    bus().handler = nullptr;
    bus().interval = Clock::duration(0);
    bus().nextWrite = Clock::time_point{};
    bus().nextRead = Clock::time_point{};
}

} // namespace sim

using sim::bus;
using sim::Clock;

extern "C" {

int hid_init(void)
{
    return 0;
}

int hid_exit(void)
{
    return 0;
}

hid_device *hid_open(unsigned short vendor_id, unsigned short product_id,
                     const wchar_t *serial_number)
{
    (void)serial_number;
    std::lock_guard<std::mutex> lock(bus().mutex);
    // The texts hidapi 0.13's hidraw backend leaves for hid_error(NULL).
    if (!bus().plugged || vendor_id != 0x04D8 || product_id != 0xF747) {
        bus().lastError = L"No HID devices with requested VID/PID found in the system.";
        return nullptr;
    }
    if (bus().openRefusal != 0) {
        bus().lastError = sim::widen(std::string("Failed to open a device with path '") +
                                     sim::DevicePath + "': " + std::strerror(bus().openRefusal));
        return nullptr;
    }
    bus().lastError.clear();
    ++bus().opens;
    return new hid_device{bus().plugGeneration};
}

int hid_set_nonblocking(hid_device *device, int nonblock)
{
    (void)device;
    (void)nonblock;
    return 0;
}

int hid_read_timeout(hid_device *device, unsigned char *data, size_t length, int milliseconds)
{
    sim::Bus &b = bus();
    std::unique_lock<std::mutex> lock(b.mutex);
    const Clock::time_point deadline = milliseconds < 0
                                           ? Clock::time_point::max()
                                           : Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (sim::stale(b, device) || b.readsFail)
            return -1;
        const Clock::time_point now = Clock::now();
        Clock::time_point wake = deadline;
        if (!b.input.empty()) {
            const Clock::time_point available = std::max(b.input.front().due, b.nextRead);
            if (available <= now) {
                const sim::InputReport report = b.input.front().report;
                b.input.pop_front();
                if (report.length == 0) {
                    sim::unplugLocked(b);
                    return -1;
                }
                // Due one frame after this one was due, not after it was
                // taken: a late reader does not slow the module down.
                b.nextRead = available + b.interval;
                const size_t n = std::min(length, static_cast<size_t>(report.length));
                std::memcpy(data, report.bytes.data(), n);
                if (b.dropAfterInput > 0 && --b.dropAfterInput == 0)
                    sim::unplugLocked(b);
                return static_cast<int>(n);
            }
            wake = std::min(wake, available);
        }
        if (now >= deadline)
            return 0;
        b.inputArrived.wait_until(lock, wake);
    }
}

int hid_read(hid_device *device, unsigned char *data, size_t length)
{
    return hid_read_timeout(device, data, length, -1);
}

int hid_write(hid_device *device, const unsigned char *data, size_t length)
{
    sim::Bus &b = bus();
    Clock::time_point slot;
    {
        std::lock_guard<std::mutex> lock(b.mutex);
        if (sim::stale(b, device))
            return -1;
        slot = std::max(Clock::now(), b.nextWrite);
    }
    // Outside the lock, so the port thread keeps reading while a paced
    // write waits for its turn on the bus.
    std::this_thread::sleep_until(slot);

    sim::ReplyHandler handler;
    Clock::time_point sent;
    int generation;
    bool dropOff = false;
    {
        std::lock_guard<std::mutex> lock(b.mutex);
        if (sim::stale(b, device))
            return -1;
        // The report goes out in the frame it waited for; a late wake-up
        // does not move the frames after it.
        sent = slot;
        b.nextWrite = slot + b.interval;
        b.written.push_back({sent, std::vector<unsigned char>(data, data + length)});
        handler = b.handler;
        generation = b.plugGeneration;
        dropOff = b.dropAfterOutput > 0 && --b.dropAfterOutput == 0;
    }

    std::vector<sim::InputReport> replies;
    if (handler && length > 1) {
        unsigned char payload[64] = {};
        std::memcpy(payload, data + 1, std::min<size_t>(length - 1, 64));
        replies = handler(payload);
    }

    std::lock_guard<std::mutex> lock(b.mutex);
    if (b.plugged && b.plugGeneration == generation) {
        // A device answers in a later bus frame than the one its request came in.
        const Clock::time_point ready = sim::nextFrame(b, sent);
        for (const sim::InputReport &reply : replies)
            sim::enqueueLocked(b, reply, ready + reply.delay);
        if (dropOff)
            sim::unplugLocked(b);
    }
    return static_cast<int>(length);
}

void hid_close(hid_device *device)
{
    delete device;
}

struct hid_device_info *hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    const bool matches =
        (vendor_id == 0 || vendor_id == 0x04D8) && (product_id == 0 || product_id == 0xF747);
    if (!bus().plugged || !matches)
        return nullptr;
    auto *info = new hid_device_info{};
    info->path = strdup(sim::DevicePath);
    info->vendor_id = 0x04D8;
    info->product_id = 0xF747;
    info->manufacturer_string = wcsdup(L"Norvale");
    info->product_string = wcsdup(L"Control Module");
    info->usage_page = 0xFF00;
    info->usage = 1;
    return info;
}

void hid_free_enumeration(struct hid_device_info *devices)
{
    while (devices != nullptr) {
        hid_device_info *next = devices->next;
        std::free(devices->path);
        std::free(devices->manufacturer_string);
        std::free(devices->product_string);
        std::free(devices->serial_number);
        delete devices;
        devices = next;
    }
}

const wchar_t *hid_error(hid_device *device)
{
    (void)device;
    // The text stays valid until the next hid_open, as hidapi's does.
    std::lock_guard<std::mutex> lock(bus().mutex);
    return bus().lastError.empty() ? L"Success" : bus().lastError.c_str();
}

} // extern "C"
