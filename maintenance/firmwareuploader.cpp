#include "maintenance/firmwareuploader.h"

#include "core/operationprogress.h"
#include "maintenance/firmwareimage.h"
#include "usb/modulesession.h"
#include "usb/qusbport.h"
#include "usb/wire.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <cstring>

namespace
{
// The module needs this long after accepting the start frame before it can
// take the image.
constexpr unsigned long StartPauseMs = 3000;
constexpr int FinalReplyCount = 5000;

QString text(const char *source)
{
    return QCoreApplication::translate("Talvik", source);
}

QString refusalText(maintenance::ImageLoad load, const QString &path)
{
    const QString name = QDir::toNativeSeparators(path);
    switch (load) {
    case maintenance::ImageLoad::CannotOpen:
        return text("Could not open the firmware file \"%1\".").arg(name);
    case maintenance::ImageLoad::CannotRead:
        return text("Could not read the firmware file \"%1\".").arg(name);
    case maintenance::ImageLoad::Empty:
        return text("The firmware file \"%1\" is empty.").arg(name);
    case maintenance::ImageLoad::TooLarge:
        return text("The firmware file \"%1\" is larger than %2 bytes.")
            .arg(name, QString::number(maintenance::ImageCapacity));
    case maintenance::ImageLoad::Loaded:
        break;
    }
    return QString();
}

OperationResult failed(int step)
{
    return OperationResult::failure(OperationResult::Reason::Module,
                                    text("Firmware upload failed. %1").arg(step));
}
} // namespace

OperationResult loadFirmwareImage(const QString &path, FirmwareImage &image)
{
    std::vector<unsigned char> bytes(maintenance::ImageCapacity, 0);
    quint32 size = 0;
    quint16 checksum = 0;
    const maintenance::ImageLoad load = maintenance::loadImage(path, bytes.data(), size, checksum);
    if (load != maintenance::ImageLoad::Loaded)
        return OperationResult::failure(OperationResult::Reason::File, refusalText(load, path));
    image.bytes.swap(bytes);
    image.size = size;
    image.checksum = checksum;
    return OperationResult::success();
}

OperationResult uploadFirmwareImage(ModuleSession &session, const FirmwareImage &image,
                                    OperationProgress &progress)
{
    // Only an image that loadFirmwareImage filled can be sent whole; the
    // module must never hear of any other.
    if (image.size == 0 || image.bytes.size() < size_t(maintenance::ImageCapacity))
        return OperationResult::failure(OperationResult::Reason::Refused,
                                        text("No firmware image was loaded."));
    progress.setRange(0, static_cast<int>(image.size));

    unsigned char frame[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int startLength = maintenance::buildStartFrame(frame, image.checksum, image.size);
    if (session.transactOnce(frame, startLength, reply) == 0)
        return failed(1);
    if (reply[0] != wire::FirmwareStart)
        return failed(2);

    // No events here: the module is getting ready and nothing may be sent.
    QThread::msleep(StartPauseMs);

    QUSBPort &port = session.port();
    for (quint32 offset = 0; offset < image.size; offset += maintenance::DataFrameSize) {
        progress.setLabel(maintenance::uploadLabel(offset, image.size));
        progress.setValue(static_cast<int>(offset));
        if (progress.cancelled())
            return OperationResult::failure(OperationResult::Reason::Cancelled, QString());
        maintenance::sliceDataFrame(frame, image.bytes.data(), image.size, offset);
        if (port.writeFrame(frame, maintenance::DataFrameSize) < 0)
            return failed(3);
    }

    progress.finish();

    // No flush: the first reply after the start reply is the module's verdict.
    std::memset(reply, 0, sizeof reply);
    if (port.readBytes(reply, wire::FrameSize, FinalReplyCount) == 0)
        return failed(4);
    if (reply[0] != wire::FirmwareAccepted)
        return failed(5);
    return OperationResult::success(text("Firmware upload complete."));
}

OperationResult uploadFirmware(ModuleSession &session, const QString &path,
                               OperationProgress &progress)
{
    FirmwareImage image;
    const OperationResult loaded = loadFirmwareImage(path, image);
    if (loaded.failed())
        return loaded;
    return uploadFirmwareImage(session, image, progress);
}
