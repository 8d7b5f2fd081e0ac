#include "sim/simdevice.h"

#include <hidapi/hidapi.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

// hidapi's opaque handle; here it only remembers which plug-in it belongs to.
struct hid_device_ {
    int plugGeneration;
};

namespace sim {
namespace {

struct Bus {
    std::mutex mutex;
    std::condition_variable inputArrived;
    bool plugged = false;
    int plugGeneration = 0;
    int opens = 0;
    std::deque<Report> input;
    std::vector<WrittenReport> written;
    Responder responder;
};

Bus &bus()
{
    static Bus instance;
    return instance;
}

bool stale(const Bus &b, const hid_device *device)
{
    return !b.plugged || device->plugGeneration != b.plugGeneration;
}

} // namespace

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
    bus().plugged = false;
    bus().input.clear();
    bus().inputArrived.notify_all();
}

bool isPlugged()
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    return bus().plugged;
}

void setResponder(Responder responder)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().responder = std::move(responder);
}

void queueInputReport(const unsigned char *data, int length)
{
    Report report{};
    std::memcpy(report.data(), data, static_cast<size_t>(std::min<int>(length, 64)));
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().input.push_back(report);
    bus().inputArrived.notify_all();
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

void reset()
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().plugged = false;
    ++bus().plugGeneration;
    bus().opens = 0;
    bus().input.clear();
    bus().written.clear();
    bus().responder = nullptr;
    bus().inputArrived.notify_all();
}

} // namespace sim

using sim::bus;

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
    if (!bus().plugged || vendor_id != 0x04D8 || product_id != 0xF747)
        return nullptr;
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
    std::unique_lock<std::mutex> lock(bus().mutex);
    auto ready = [&] { return sim::stale(bus(), device) || !bus().input.empty(); };
    if (milliseconds < 0)
        bus().inputArrived.wait(lock, ready);
    else
        bus().inputArrived.wait_for(lock, std::chrono::milliseconds(milliseconds), ready);
    if (sim::stale(bus(), device))
        return -1;
    if (bus().input.empty())
        return 0;
    const sim::Report report = bus().input.front();
    bus().input.pop_front();
    const size_t n = std::min(length, report.size());
    std::memcpy(data, report.data(), n);
    return static_cast<int>(n);
}

int hid_read(hid_device *device, unsigned char *data, size_t length)
{
    return hid_read_timeout(device, data, length, -1);
}

int hid_write(hid_device *device, const unsigned char *data, size_t length)
{
    sim::Responder responder;
    {
        std::lock_guard<std::mutex> lock(bus().mutex);
        if (sim::stale(bus(), device))
            return -1;
        bus().written.push_back({sim::Clock::now(), std::vector<unsigned char>(data, data + length)});
        responder = bus().responder;
    }
    if (responder && length > 1) {
        unsigned char payload[64] = {};
        std::memcpy(payload, data + 1, std::min<size_t>(length - 1, 64));
        for (const sim::Report &reply : responder(payload))
            sim::queueInputReport(reply.data(), static_cast<int>(reply.size()));
    }
    return static_cast<int>(length);
}

void hid_close(hid_device *device)
{
    delete device;
}

} // extern "C"
