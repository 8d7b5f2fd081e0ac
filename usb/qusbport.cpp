#include "usb/qusbport.h"

#include <QCoreApplication>
#include <QDebug>

#include <hidapi/hidapi.h>

#include <algorithm>
#include <cstring>

QUSBPort::QUSBPort(QObject *parent)
    : QThread(parent), head(0), tail(0), running(true), device(nullptr), deviceOpen(false)
{
    moveToThread(this);
}

QUSBPort::~QUSBPort()
{
    running = false;
}

void QUSBPort::stop()
{
    running = false;
}

void QUSBPort::flush()
{
    tail.store(head.load(std::memory_order_acquire), std::memory_order_release);
}

int QUSBPort::writeFrame(const unsigned char *data, int length)
{
    std::lock_guard<std::mutex> lock(deviceMutex);
    if (device == nullptr)
        return -1;
    unsigned char report[ReportSize] = {};
    const int taken = std::min(std::max(length, 0), ReportDataSize);
    if (taken > 0)
        std::memcpy(report + 1, data, static_cast<size_t>(taken));
    return hid_write(device, report, ReportSize);
}

int QUSBPort::readBytes(unsigned char *destination, int length, int count)
{
    if (length <= 0)
        return 0;
    for (int i = 0; i < length; ++i) {
        while (tail.load(std::memory_order_relaxed) == head.load(std::memory_order_acquire)) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            if (--count <= 0)
                return i;
            if (!deviceOpen.load(std::memory_order_acquire))
                return i;
            QThread::msleep(1);
        }
        const int t = tail.load(std::memory_order_relaxed);
        destination[i] = ReceiveRing[t];
        tail.store((t + 1) % RingSize, std::memory_order_release);
    }
    return length;
}

bool QUSBPort::ringFull() const
{
    return (head.load(std::memory_order_relaxed) + 1) % RingSize ==
           tail.load(std::memory_order_acquire);
}

void QUSBPort::storeByte(unsigned char byte)
{
    if (ringFull()) {
        qDebug().noquote() << "USBPort: Buffer Overflow";
        return;
    }
    const int h = head.load(std::memory_order_relaxed);
    ReceiveRing[h] = byte;
    head.store((h + 1) % RingSize, std::memory_order_release);
}

void QUSBPort::closeDevice()
{
    std::lock_guard<std::mutex> lock(deviceMutex);
    deviceOpen = false;
    if (device != nullptr)
        hid_close(device);
    device = nullptr;
}

void QUSBPort::run()
{
    qDebug().noquote() << "USBPort: Openning USB Port";
    // running is set by the constructor and cleared only by stop or the
    // destructor; setting it again here could swallow a stop that came
    // before the thread got going, and the owner would wait forever.
    while (running) {
        while (!deviceOpen) {
            hid_device *opened = hid_open(VendorId, ProductId, nullptr);
            if (opened != nullptr) {
                {
                    std::lock_guard<std::mutex> lock(deviceMutex);
                    device = opened;
                }
                deviceOpen = true;
                hid_set_nonblocking(device, 1);
            } else {
                emit openPortFailed();
                QThread::msleep(OpenRetryMs);
            }
            // A stop that comes just after an open still closes the device:
            // nobody reads it any more, and the handle must not outlive us.
            if (!running) {
                closeDevice();
                return;
            }
        }
        emit openPortSuccess();

        bool lost = false;
        while (running) {
            const int n = hid_read_timeout(device, reportBuffer, ReportSize, ReadTimeoutMs);
            if (n == -1) {
                lost = true;
                break;
            }
            if (n == 0)
                continue;
            const int taken = std::min(n, ReportDataSize);
            for (int i = 0; i < taken; ++i)
                storeByte(reportBuffer[i]);
            emit dataReady();
        }
        if (!lost)
            break;
        closeDevice();
    }

    qDebug().noquote() << "USBPort: Thread Terminating";
    closeDevice();
    emit openPortFailed();
}
