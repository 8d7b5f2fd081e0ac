#include "tests/e2e/hidrawbus.h"

#include "sim/simdevice.h"

#include <QtGlobal>

#include <umockdev.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

namespace
{

// <linux/hidraw.h>: _IOR('H', nr, type)
constexpr unsigned long HidiocGetReportDescriptorSize = 0x80044801;
constexpr unsigned long HidiocGetReportDescriptor = 0x90044802;
constexpr unsigned long HidiocGetRawInfo = 0x80084803;
constexpr int ErrorAgain = 11;    // EAGAIN
constexpr int ErrorNoDevice = 19; // ENODEV

// A vendor page with one 64-byte input and one 64-byte output report and no
// report IDs, as the module describes itself.
const unsigned char ReportDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00,
                                          0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x09, 0x01,
                                          0x81, 0x02, 0x95, 0x40, 0x09, 0x01, 0x91, 0x02, 0xC0};

const char *const Node = "/dev/hidraw0";
const char *const HidrawSysPath = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/"
                                  "0003:04D8:F747.0001/hidraw/hidraw0";

// What the kernel shows for a plugged-in module, trimmed to what libudev and
// hidapi read. hidapi takes HID_ID from hidraw0/device/uevent, hence the
// device link; "hidraw0=00" makes the node a regular file, which poll()
// always reports readable, so every read of hidapi reaches onRead below.
const char *const HidrawDevice =
    "P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:04D8:F747.0001/hidraw/hidraw0\n"
    "N: hidraw0=00\n"
    "E: DEVNAME=/dev/hidraw0\n"
    "E: SUBSYSTEM=hidraw\n"
    "A: dev=242:0\n"
    "L: device=../../../0003:04D8:F747.0001\n";

const char *const ParentDevices =
    "P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:04D8:F747.0001\n"
    "E: DRIVER=hid-generic\n"
    "E: HID_ID=0003:000004D8:0000F747\n"
    "E: HID_NAME=Norvale Control Module\n"
    "E: HID_PHYS=usb-0000:00:14.0-2/input0\n"
    "E: HID_UNIQ=\n"
    "E: SUBSYSTEM=hid\n"
    "\n"
    "P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0\n"
    "E: DEVTYPE=usb_interface\n"
    "E: DRIVER=usbhid\n"
    "E: SUBSYSTEM=usb\n"
    "A: bInterfaceClass=03\n"
    "A: bInterfaceNumber=00\n"
    "\n"
    "P: /devices/pci0000:00/0000:00:14.0/usb1/1-2\n"
    "N: bus/usb/001/002\n"
    "E: DEVNAME=/dev/bus/usb/001/002\n"
    "E: DEVTYPE=usb_device\n"
    "E: DRIVER=usb\n"
    "E: PRODUCT=4d8/f747/100\n"
    "E: SUBSYSTEM=usb\n"
    "A: bcdDevice=0100\n"
    "A: busnum=1\n"
    "A: devnum=2\n"
    "A: idVendor=04d8\n"
    "A: idProduct=f747\n"
    "A: manufacturer=Norvale\n"
    "A: product=Control Module\n";

struct Pending {
    sim::InputReport report;
    sim::Clock::time_point due;
};

// The testbed's handlers run on its worker thread, the test on its own and
// the program's port and GUI threads reach the node through the handlers;
// one mutex guards the bus.
struct Bus {
    std::mutex mutex;
    std::condition_variable inputArrived;
    UMockdevTestbed *testbed = nullptr;
    UMockdevIoctlBase *handler = nullptr;
    bool plugged = false;
    int generation = 0;
    int opens = 0;
    std::deque<Pending> input;
    std::vector<sim::WrittenReport> written;
    sim::ReplyHandler replies;
};

Bus &bus()
{
    static Bus instance;
    return instance;
}

const char GenerationKey[] = "talvik-plug-generation";

// A handle opened before the last unplug stays dead, as a pulled hidraw
// node's file descriptor does.
bool stale(const Bus &b, UMockdevIoctlClient *client)
{
    const int generation = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(client), GenerationKey));
    return !b.plugged || generation != b.generation;
}

void answer(UMockdevIoctlData *arg, size_t length, const void *bytes, size_t size, size_t at = 0)
{
    GError *error = nullptr;
    UMockdevIoctlData *data = umockdev_ioctl_data_resolve(arg, 0, length, &error);
    if (data == nullptr) {
        g_error_free(error);
        return;
    }
    umockdev_ioctl_data_update(data, at, static_cast<guint8 *>(const_cast<void *>(bytes)),
                               static_cast<gint>(size));
    umockdev_ioctl_data_unref(data);
}

// Callers hold the mutex.
void unplugLocked(Bus &b)
{
    if (b.plugged) {
        umockdev_testbed_uevent(b.testbed, HidrawSysPath, "remove");
        umockdev_testbed_remove_device(b.testbed, HidrawSysPath);
    }
    b.plugged = false;
    b.input.clear();
    b.inputArrived.notify_all();
}

void onConnected(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer)
{
    Bus &b = bus();
    std::lock_guard<std::mutex> lock(b.mutex);
    g_object_set_data(G_OBJECT(client), GenerationKey, GINT_TO_POINTER(b.generation));
    ++b.opens;
}

gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer)
{
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    switch (umockdev_ioctl_client_get_request(client)) {
    case HidiocGetReportDescriptorSize: {
        const int size = sizeof ReportDescriptor;
        answer(arg, sizeof size, &size, sizeof size);
        break;
    }
    case HidiocGetReportDescriptor:
        // struct hidraw_report_descriptor { __u32 size; __u8 value[4096]; }
        answer(arg, 4 + 4096, ReportDescriptor, sizeof ReportDescriptor, 4);
        break;
    case HidiocGetRawInfo: {
        // struct hidraw_devinfo { __u32 bustype; __s16 vendor; __s16 product; }
        unsigned char info[8] = {3, 0, 0, 0, 0xD8, 0x04, 0x47, 0xF7};
        answer(arg, sizeof info, info, sizeof info);
        break;
    }
    default:
        return FALSE;
    }
    umockdev_ioctl_client_complete(client, 0, 0);
    return TRUE;
}

gboolean onWrite(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer)
{
    Bus &b = bus();
    guint8 *data = nullptr;
    gint length = 0;
    umockdev_ioctl_data_retrieve(umockdev_ioctl_client_get_arg(client), &data, &length);

    sim::ReplyHandler replies;
    int generation;
    {
        std::lock_guard<std::mutex> lock(b.mutex);
        if (stale(b, client)) {
            umockdev_ioctl_client_complete(client, -1, ErrorNoDevice);
            return TRUE;
        }
        b.written.push_back({sim::Clock::now(), std::vector<unsigned char>(data, data + length)});
        replies = b.replies;
        generation = b.generation;
    }
    // hidraw takes report ID 0 off before the 64 data bytes go out on USB.
    std::vector<sim::InputReport> answers;
    if (replies && length > 1) {
        unsigned char payload[64] = {};
        std::memcpy(payload, data + 1, std::min<size_t>(size_t(length) - 1, sizeof payload));
        answers = replies(payload);
    }
    {
        std::lock_guard<std::mutex> lock(b.mutex);
        if (b.plugged && b.generation == generation) {
            const sim::Clock::time_point now = sim::Clock::now();
            for (const sim::InputReport &report : answers) {
                const sim::Clock::time_point due = now + report.delay;
                auto later = std::upper_bound(
                    b.input.begin(), b.input.end(), due,
                    [](sim::Clock::time_point t, const Pending &p) { return t < p.due; });
                b.input.insert(later, Pending{report, due});
            }
        }
    }
    umockdev_ioctl_client_complete(client, length, 0);
    return TRUE;
}

gboolean onRead(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer)
{
    Bus &b = bus();
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    guint8 *room = nullptr;
    gint roomLength = 0;
    umockdev_ioctl_data_retrieve(arg, &room, &roomLength);

    std::unique_lock<std::mutex> lock(b.mutex);
    // poll() never waits on this node, so this wait stands in for hidapi's:
    // a little while for a report, then "try again", which hidapi reads as
    // a time-out.
    const sim::Clock::time_point deadline = sim::Clock::now() + std::chrono::milliseconds(5);
    for (;;) {
        if (stale(b, client)) {
            umockdev_ioctl_client_complete(client, -1, ErrorNoDevice);
            return TRUE;
        }
        const sim::Clock::time_point now = sim::Clock::now();
        sim::Clock::time_point wake = deadline;
        if (!b.input.empty()) {
            if (b.input.front().due <= now) {
                const sim::InputReport report = b.input.front().report;
                b.input.pop_front();
                if (report.length == 0) {
                    // The module drops off the bus here.
                    unplugLocked(b);
                    umockdev_ioctl_client_complete(client, -1, ErrorNoDevice);
                    return TRUE;
                }
                const int n = std::min(roomLength, report.length);
                umockdev_ioctl_data_update(arg, 0, const_cast<guint8 *>(report.bytes.data()), n);
                umockdev_ioctl_client_complete(client, n, 0);
                return TRUE;
            }
            wake = std::min(wake, b.input.front().due);
        }
        if (now >= deadline) {
            umockdev_ioctl_client_complete(client, -1, ErrorAgain);
            return TRUE;
        }
        b.inputArrived.wait_until(lock, wake);
    }
}

// Whether libumockdev-preload redirects this process's /sys and /dev, as
// umockdev-wrapper arranges; the testbed does nothing without it.
bool preloaded()
{
    return qgetenv("LD_PRELOAD").contains("libumockdev-preload");
}

// Makes the testbed on first use: its /sys holds the module's USB device and
// HID interface, and the hidraw node is added by plug.
bool ensureTestbedLocked(Bus &b)
{
    if (b.testbed != nullptr)
        return true;
    if (!preloaded())
        return false;
    b.testbed = umockdev_testbed_new();
    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(b.testbed, ParentDevices, &error)) {
        qWarning("umockdev refused the module's devices: %s", error->message);
        g_error_free(error);
        return false;
    }
    return true;
}

} // namespace

namespace e2e
{

QString hidrawBusProblem()
{
    if (!preloaded())
        return "this program must run with libumockdev-preload: start it through "
               "umockdev-wrapper (Debian package umockdev)";
    Bus &b = bus();
    std::lock_guard<std::mutex> lock(b.mutex);
    if (!ensureTestbedLocked(b))
        return "umockdev could not set up the emulated module";
    return QString();
}

QString hidrawNode()
{
    return Node;
}

} // namespace e2e

namespace sim
{

void plug()
{
    Bus &b = bus();
    std::lock_guard<std::mutex> lock(b.mutex);
    if (b.plugged || !ensureTestbedLocked(b))
        return;
    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(b.testbed, HidrawDevice, &error)) {
        qWarning("umockdev refused the hidraw node: %s", error->message);
        g_error_free(error);
        return;
    }
    if (b.handler == nullptr) {
        b.handler = umockdev_ioctl_base_new();
        g_signal_connect(b.handler, "client-connected", G_CALLBACK(onConnected), nullptr);
        g_signal_connect(b.handler, "handle-ioctl", G_CALLBACK(onIoctl), nullptr);
        g_signal_connect(b.handler, "handle-write", G_CALLBACK(onWrite), nullptr);
        g_signal_connect(b.handler, "handle-read", G_CALLBACK(onRead), nullptr);
        if (!umockdev_testbed_attach_ioctl(b.testbed, Node, b.handler, &error)) {
            qWarning("umockdev could not attach to %s: %s", Node, error->message);
            g_error_free(error);
            return;
        }
    }
    b.plugged = true;
    ++b.generation;
    b.input.clear();
    umockdev_testbed_uevent(b.testbed, HidrawSysPath, "add");
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
    bus().replies = std::move(handler);
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
    Bus &b = bus();
    std::lock_guard<std::mutex> lock(b.mutex);
    unplugLocked(b);
    ++b.generation;
    b.opens = 0;
    b.written.clear();
    b.replies = nullptr;
}

} // namespace sim
