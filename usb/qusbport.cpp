#include "usb/qusbport.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include <hidapi/hidapi.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

QUSBPort::QUSBPort(QObject *parent)
    : QThread(parent), head(0), tail(0), running(true), device(nullptr), deviceOpen(false),
      reportsDropped(0)
{
    qRegisterMetaType<QUSBPort::OpenFailure>();
    moveToThread(this);
}

// hidapi must not be torn down under a running port thread, and a QThread
// must not be destroyed while it runs, so whoever owns the port only has to
// delete it.
QUSBPort::~QUSBPort()
{
    stop();
    wait();
    // The thread's last act on our members is closeDevice, under this mutex.
    // Taking it once more hands those members over in a way every checker
    // sees: a thread that had already finished makes wait() return on a
    // flag read under Qt's own lock, which ThreadSanitizer cannot follow.
    std::lock_guard<std::mutex> handOver(deviceMutex);
}

QString QUSBPort::OpenFailure::reason() const
{
    switch (kind) {
    case NoModule:
        return tr("No Control Module found on USB.");
    case PermissionDenied:
        return tr("No permission to open the Control Module (%1).").arg(node);
    case OtherError:
        return tr("The Control Module (%1) could not be opened: %2").arg(node, error);
    case InUse:
        return tr("The Control Module is in use by another Talvik (process %1).").arg(holder);
    }
    return QString();
}

QString QUSBPort::lockFilePath()
{
    const QString name =
        QString("talvik-%1-%2").arg(VendorId, 4, 16, QChar('0')).arg(ProductId, 4, 16, QChar('0'));
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (!folder.isEmpty())
            return folder + '/' + name + ".lock";
    }
    // A program started by cron has no XDG_RUNTIME_DIR, yet the user's
    // desktop session has one; both must meet at the same file.
    const QFileInfo own(QString("/run/user/%1").arg(::getuid()));
    if (own.isDir() && own.isWritable())
        return own.filePath() + '/' + name + ".lock";
    // The shared temporary folder keeps a file of one user from the others,
    // so each user has a lock of their own there.
    return QDir::tempPath() + '/' + name + QString("-%1.lock").arg(::getuid());
}

void QUSBPort::stop()
{
    running = false;
}

bool QUSBPort::isDeviceOpen() const
{
    return deviceOpen.load(std::memory_order_acquire);
}

int QUSBPort::droppedReports() const
{
    return reportsDropped.load(std::memory_order_acquire);
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

bool QUSBPort::storeByte(unsigned char byte)
{
    if (ringFull()) {
        qDebug().noquote() << "USBPort: Buffer Overflow";
        return false;
    }
    const int h = head.load(std::memory_order_relaxed);
    ReceiveRing[h] = byte;
    head.store((h + 1) % RingSize, std::memory_order_release);
    return true;
}

bool QUSBPort::lockModule(qint64 &holder)
{
    if (!moduleLock) {
        moduleLock = std::make_unique<QLockFile>(lockFilePath());
        // A Talvik may keep the module for hours: only a lock whose process
        // has gone is stale, never one that is merely old.
        moduleLock->setStaleLockTime(0);
    }
    if (moduleLock->isLocked() || moduleLock->tryLock(0))
        return true;
    // A runtime folder we cannot write must not keep the technician from
    // the module; only a lock that another process holds does.
    if (moduleLock->error() != QLockFile::LockFailedError)
        return true;
    qint64 pid = 0;
    QString host;
    QString application;
    moduleLock->getLockInfo(&pid, &host, &application);
    holder = pid;
    return false;
}

void QUSBPort::closeDevice()
{
    std::lock_guard<std::mutex> lock(deviceMutex);
    deviceOpen = false;
    if (device != nullptr)
        hid_close(device);
    device = nullptr;
    if (moduleLock)
        moduleLock->unlock();
}

QUSBPort::OpenFailure QUSBPort::findOpenFailure() const
{
    OpenFailure failure;
    // hid_error(NULL) holds the text of the failed hid_open until the next
    // hidapi call, so it is taken first.
    if (const wchar_t *text = hid_error(nullptr))
        failure.error = QString::fromWCharArray(text);
    hid_device_info *devices = hid_enumerate(VendorId, ProductId);
    if (devices == nullptr)
        return failure;
    if (devices->path != nullptr)
        failure.node = QString::fromLocal8Bit(devices->path);
    hid_free_enumeration(devices);
    // hidapi ends its text with strerror(errno), in the user's language.
    const QString denied = QString::fromLocal8Bit(std::strerror(EACCES));
    failure.kind = failure.error.contains(denied) || failure.error.contains("Permission denied")
                       ? OpenFailure::PermissionDenied
                       : OpenFailure::OtherError;
    return failure;
}

void QUSBPort::run()
{
    qDebug().noquote() << "USBPort: Openning USB Port";
    // running is set by the constructor and cleared only by stop or the
    // destructor; setting it again here could swallow a stop that came
    // before the thread got going, and the owner would wait forever.
    QElapsedTimer sinceOpen;
    while (running) {
        while (!deviceOpen) {
            OpenFailure failure;
            hid_device *opened = nullptr;
            if (lockModule(failure.holder)) {
                opened = hid_open(VendorId, ProductId, nullptr);
                // Enumerating only here keeps it to the 500 ms cadence.
                if (opened == nullptr) {
                    failure = findOpenFailure();
                    moduleLock->unlock();
                }
            } else {
                failure.kind = OpenFailure::InUse;
            }
            if (opened != nullptr) {
                {
                    std::lock_guard<std::mutex> lock(deviceMutex);
                    device = opened;
                }
                deviceOpen = true;
                hid_set_nonblocking(device, 1);
                sinceOpen.start();
            } else {
                emit openPortFailed();
                emit openFailureFound(failure);
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
            bool whole = true;
            for (int i = 0; i < taken; ++i)
                whole = storeByte(reportBuffer[i]) && whole;
            if (!whole)
                reportsDropped.fetch_add(1, std::memory_order_release);
            emit dataReady();
        }
        if (!lost)
            break;
        closeDevice();
        // A module that fails again right after it was opened would be
        // reopened in a tight loop, each open one more openPortSuccess.
        const qint64 openFor = sinceOpen.elapsed();
        if (openFor < ReopenGuardMs)
            QThread::msleep(static_cast<unsigned long>(ReopenGuardMs - openFor));
    }

    qDebug().noquote() << "USBPort: Thread Terminating";
    closeDevice();
    emit openPortFailed();
}
