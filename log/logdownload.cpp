#include "app/talvik.h"

#include "app/progresswindow.h"
#include "log/logrecord.h"
#include "log/logstore.h"
#include "usb/qusbport.h"
#include "usb/wire.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QProgressDialog>
#include <QStatusBar>

#include <algorithm>
#include <iterator>

unsigned char LogStore[LogRecord::StoreCapacity][LogRecord::Size];
unsigned char badChecksum[LogRecord::StoreCapacity];

namespace
{

constexpr int RecordWaitCount = 500;
constexpr int ShortReadBudget = 5;
constexpr int LabelStep = 16;
constexpr int FetchRequestLength = 7;

// The parameters that tell which optional column groups the records carry.
constexpr int SoilParameter = 258;
constexpr int SolvaneParameter = 264;
constexpr int Analog1TypeParameter = 200;
constexpr int Analog2TypeParameter = 202;
constexpr int GlobeTempType = 5;

// Shows how far the fetch is and lets a click on Cancel through; false once
// the user has cancelled.
bool showFetchProgress(QProgressDialog &progress, quint32 next, quint32 recordCount)
{
    progress.setLabelText(QCoreApplication::translate("Talvik", "Downloading Log %1 of %2")
                              .arg(QString::number(next), QString::number(recordCount)));
    progress.setValue(int(next));
    QCoreApplication::processEvents();
    return !progress.wasCanceled();
}

// Reads what is left of an abandoned batch into a slot not yet accepted, so
// that it is not taken for the records asked for next; stops early once the
// module has nothing more to send.
void drainBatch(QUSBPort &port, unsigned char *scratch, quint32 left)
{
    for (; left > 0; --left)
        if (port.readBytes(scratch, LogRecord::Size, RecordWaitCount) == 0)
            break;
}

} // namespace

void Talvik::downloadLog(bool full)
{
    const QString suggested =
        lastDirectory + QDateTime::currentDateTime().toString("'Log 'yyyy-MM-dd hh-mm'.csv'");
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Enter Log File Name"), suggested, tr("Comma-Separated Values (*.csv)"));
    if (fileName.isEmpty())
        return;
    lastDirectory = fileName.left(fileName.lastIndexOf('/') + 1);

    const QString savedStatus = statusBar()->currentMessage();
    statusBar()->showMessage(tr("Downloading Log..."));
    // The text saved before may say "Connected" of a module that has left
    // since, so a failure shows what the port holds now.
    auto fail = [&](const QString &text) {
        showMessage(true, text);
        showConnectionState();
    };
    auto endCancelled = [&] {
        if (usbPort->isDeviceOpen())
            statusBar()->showMessage(savedStatus);
        else
            showConnectionState();
    };

    ProgressWindow progress(tr("Downloading Log Information..."), tr("Cancel"), 0, 100, this);
    progress.setWindowTitle(tr("Talvik"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.show();

    unsigned char request[wire::FrameSize] = {};
    unsigned char reply[wire::FrameSize];
    request[0] = full ? wire::LogStartFull : wire::LogStartNew;
    // Only bytes 1..4 of this reply matter; the module's byte 0 is not checked.
    if (transact(request, 1, reply) == 0) {
        fail(tr("Download failed."));
        return;
    }
    const quint32 recordCount = getUInt32BE(reply + 1);
    if (recordCount == 0) {
        fail(tr("Nothing new to download."));
        return;
    }
    // The store holds no more; better no file than records written past it.
    if (recordCount > quint32(LogRecord::StoreCapacity)) {
        fail(tr("The module offers %1 records, more than the 49,152 that Talvik can hold. "
                "Nothing was downloaded.")
                 .arg(recordCount));
        return;
    }
    progress.setRange(0, int(recordCount));

    int value = 0;
    const bool withSoil = readParamInt16(SoilParameter, value) == 0 && value != 0;
    const bool withSolvane = readParamInt16(SolvaneParameter, value) == 0 && value != 0;
    const bool withGlobeTemp1 =
        readParamInt16(Analog1TypeParameter, value) == 0 && value == GlobeTempType;
    const bool withGlobeTemp2 =
        readParamInt16(Analog2TypeParameter, value) == 0 && value == GlobeTempType;

    quint32 next = 0;
    int timeoutsLeft = ShortReadBudget;
    qint64 lastBadIndex = -1;
    quint32 retryCount = 0;
    // Short reads and batches spoiled by a lost report share one budget,
    // restored by every accepted record, so a module that never stops
    // flooding still ends the download. False once the download has failed.
    auto spendRetry = [&] {
        if (timeoutsLeft == 0) {
            progress.hide();
            progress.close();
            fail(tr("Download failed."));
            return false;
        }
        --timeoutsLeft;
        ++retryCount;
        return true;
    };
    while (next < recordCount) {
        if (!showFetchProgress(progress, next, recordCount)) {
            endCancelled();
            return;
        }
        const quint32 batch = qMin<quint32>(recordCount - next, LogRecord::MaxBatch);
        usbPort->flush();
        // Any report lost to a full ring from here on may have taken part of
        // a record with it, and the blocks after it are then misaligned.
        const int droppedAtRequest = usbPort->droppedReports();
        std::fill(std::begin(request), std::end(request), 0);
        request[0] = wire::LogFetch;
        putUInt32BE(request + 1, next);
        putUInt16BE(request + 5, int(batch));
        usbPort->writeFrame(request, FetchRequestLength);

        for (quint32 k = 0; k < batch; ++k) {
            if (k % LabelStep == 0 && !showFetchProgress(progress, next, recordCount)) {
                endCancelled();
                return;
            }
            unsigned char *slot = LogStore[next];
            if (usbPort->readBytes(slot, LogRecord::Size, RecordWaitCount) < LogRecord::Size) {
                if (!spendRetry())
                    return;
                break;
            }
            // Nothing read across a loss is trusted, however it looks: a
            // misaligned block may pass as an erased record or even match
            // its checksum. Ask again from here.
            if (usbPort->droppedReports() != droppedAtRequest) {
                if (!spendRetry())
                    return;
                drainBatch(*usbPort, slot, batch - k);
                break;
            }
            if (LogRecord::isErased(slot) || LogRecord::checksumMatches(slot)) {
                badChecksum[next] = 0;
                ++next;
                timeoutsLeft = ShortReadBudget;
                continue;
            }
            badChecksum[next] = 1;
            if (qint64(next) == lastBadIndex) {
                // Twice in a row: keep it, marked.
                ++next;
                timeoutsLeft = ShortReadBudget;
                continue;
            }
            ++retryCount;
            lastBadIndex = next;
            drainBatch(*usbPort, slot, batch - k);
            break;
        }
    }

    progress.hide();
    progress.close();
    QCoreApplication::processEvents();
    const int written = writeLogCsv(fileName, recordCount, retryCount, withSoil, withSolvane,
                                    withGlobeTemp1, withGlobeTemp2);
    QCoreApplication::processEvents();
    // Records that were never saved must stay on offer, so the module hears
    // of success only when both files are in place.
    if (written != 0) {
        showConnectionState();
        return;
    }

    std::fill(std::begin(request), std::end(request), 0);
    request[0] = wire::LogFinish;
    if (transact(request, 1, reply) == 0 || reply[0] != 1) {
        fail(tr("Download failed."));
        return;
    }
    usbPort->flush();
    statusBar()->showMessage(savedStatus);
    showMessage(false, tr("Download complete."));
}
