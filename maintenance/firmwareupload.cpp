#include "app/talvik.h"

#include "app/progresswindow.h"
#include "maintenance/firmwareimage.h"
#include "usb/qusbport.h"
#include "usb/wire.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QStatusBar>
#include <QThread>

#include <cstring>
#include <vector>

namespace
{
// The module needs this long after accepting the start frame before it can
// take the image.
constexpr unsigned long StartPauseMs = 3000;
constexpr int FinalReplyCount = 5000;

QString refusalText(maintenance::ImageLoad load, const QString &path)
{
    const QString name = QDir::toNativeSeparators(path);
    switch (load) {
    case maintenance::ImageLoad::CannotOpen:
        return Talvik::tr("Could not open the firmware file \"%1\".").arg(name);
    case maintenance::ImageLoad::CannotRead:
        return Talvik::tr("Could not read the firmware file \"%1\".").arg(name);
    case maintenance::ImageLoad::Empty:
        return Talvik::tr("The firmware file \"%1\" is empty.").arg(name);
    case maintenance::ImageLoad::TooLarge:
        return Talvik::tr("The firmware file \"%1\" is larger than %2 bytes.")
            .arg(name, QString::number(maintenance::ImageCapacity));
    case maintenance::ImageLoad::Loaded:
        break;
    }
    return QString();
}
} // namespace

void Talvik::uploadFirmware()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Firmware File Name"), lastDirectory,
                                                      tr("Norvale Firmware (*.bin)"));
    if (path.isEmpty())
        return;
    lastDirectory = path.left(path.lastIndexOf('/') + 1);

    const QString savedStatus = statusBar()->currentMessage();
    statusBar()->showMessage(tr("Uploading Firmware..."));

    ProgressWindow progress(tr("Uploading Firmware..."), tr("Cancel"), 0, 100, this);
    progress.setWindowTitle(tr("Talvik"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.show();

    // The module may have dropped off: the status tells what holds now.
    const auto fail = [&](int step) {
        showMessage(true, tr("Firmware upload failed. %1").arg(step));
        showConnectionState();
    };

    // Zero beyond the file, so the part of the last frame past the image is
    // zeros.
    std::vector<unsigned char> firmwareImage(maintenance::ImageCapacity, 0);
    quint32 imageSize = 0;
    quint16 imageChecksum = 0;
    const maintenance::ImageLoad load =
        maintenance::loadImage(path, firmwareImage.data(), imageSize, imageChecksum);
    if (load != maintenance::ImageLoad::Loaded) {
        // Nothing has gone to the module yet, and it must not hear of an
        // image it cannot be given whole.
        progress.hide();
        showMessage(true, refusalText(load, path));
        statusBar()->showMessage(savedStatus);
        return;
    }
    progress.setRange(0, static_cast<int>(imageSize));

    unsigned char frame[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int startLength = maintenance::buildStartFrame(frame, imageChecksum, imageSize);
    if (transactOnce(frame, startLength, reply) == 0)
        return fail(1);
    if (reply[0] != wire::FirmwareStart)
        return fail(2);

    // No events here: the module is getting ready and nothing may be sent.
    QThread::msleep(StartPauseMs);

    for (quint32 offset = 0; offset < imageSize; offset += maintenance::DataFrameSize) {
        progress.setLabelText(maintenance::uploadLabel(offset, imageSize));
        progress.setValue(static_cast<int>(offset));
        QCoreApplication::processEvents();
        if (progress.wasCanceled()) {
            // The module is left mid-image and told nothing.
            statusBar()->showMessage(savedStatus);
            return;
        }
        maintenance::sliceDataFrame(frame, firmwareImage.data(), imageSize, offset);
        if (usbPort->writeFrame(frame, maintenance::DataFrameSize) < 0)
            return fail(3);
    }

    progress.hide();
    QCoreApplication::processEvents();

    // No flush: the first reply after the start reply is the module's verdict.
    std::memset(reply, 0, sizeof reply);
    if (usbPort->readBytes(reply, wire::FrameSize, FinalReplyCount) == 0)
        return fail(4);
    if (reply[0] != wire::FirmwareAccepted)
        return fail(5);

    statusBar()->showMessage(savedStatus);
    showMessage(false, tr("Firmware upload complete."));
}
