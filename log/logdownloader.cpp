#include "log/logdownloader.h"

#include "core/operationprogress.h"
#include "log/logcsv.h"
#include "usb/modulesession.h"
#include "usb/qusbport.h"
#include "usb/wire.h"

#include <QCoreApplication>

#include <algorithm>
#include <iterator>

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

QString text(const char *source)
{
    return QCoreApplication::translate("Talvik", source);
}

// A parameter that cannot be read leaves its column group out.
LogRecord::Columns readColumns(ModuleSession &session)
{
    LogRecord::Columns columns;
    int value = 0;
    columns.soil = session.readParamInt16(SoilParameter, value) == 0 && value != 0;
    columns.solvane = session.readParamInt16(SolvaneParameter, value) == 0 && value != 0;
    columns.globeTemp1 =
        session.readParamInt16(Analog1TypeParameter, value) == 0 && value == GlobeTempType;
    columns.globeTemp2 =
        session.readParamInt16(Analog2TypeParameter, value) == 0 && value == GlobeTempType;
    return columns;
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

// Fetches the records the module offered into slots 0 .. recordCount - 1.
class Fetch
{
public:
    enum Result { Done, Failed, Cancelled };

    Fetch(QUSBPort &port, const RecordStore &store, quint32 recordCount,
          OperationProgress &progress)
        : port(port), store(store), recordCount(recordCount), progress(progress)
    {
    }

    Result run()
    {
        while (next < recordCount) {
            if (!showProgress())
                return Cancelled;
            const Result batch = fetchBatch(qMin<quint32>(recordCount - next, LogRecord::MaxBatch));
            if (batch != Done)
                return batch;
        }
        return Done;
    }

    quint32 retries() const { return retryCount; }

private:
    // Shows how far the fetch is and lets a click on Cancel through; false
    // once the user has cancelled.
    bool showProgress()
    {
        progress.setLabel(text("Downloading Log %1 of %2")
                              .arg(QString::number(next), QString::number(recordCount)));
        progress.setValue(int(next));
        return !progress.cancelled();
    }

    // Short reads and batches spoiled by a lost report share one budget,
    // restored by every accepted record, so a module that never stops
    // flooding still ends the download. False once the download has failed.
    bool spendRetry()
    {
        if (timeoutsLeft == 0)
            return false;
        --timeoutsLeft;
        ++retryCount;
        return true;
    }

    void accept()
    {
        ++next;
        timeoutsLeft = ShortReadBudget;
    }

    // Done also when the batch was abandoned to be asked for again.
    Result fetchBatch(quint32 batch)
    {
        unsigned char request[wire::FrameSize] = {};
        port.flush();
        // Any report lost to a full ring from here on may have taken part of
        // a record with it, and the blocks after it are then misaligned.
        const int droppedAtRequest = port.droppedReports();
        request[0] = wire::LogFetch;
        putUInt32BE(request + 1, next);
        putUInt16BE(request + 5, int(batch));
        port.writeFrame(request, FetchRequestLength);

        for (quint32 k = 0; k < batch; ++k) {
            if (k % LabelStep == 0 && !showProgress())
                return Cancelled;
            unsigned char *slot = store.records[next];
            if (port.readBytes(slot, LogRecord::Size, RecordWaitCount) < LogRecord::Size)
                return spendRetry() ? Done : Failed;
            // Nothing read across a loss is trusted, however it looks: a
            // misaligned block may pass as an erased record or even match
            // its checksum. Ask again from here.
            if (port.droppedReports() != droppedAtRequest) {
                if (!spendRetry())
                    return Failed;
                drainBatch(port, slot, batch - k);
                return Done;
            }
            if (LogRecord::isErased(slot) || LogRecord::checksumMatches(slot)) {
                store.badChecksum[next] = 0;
                accept();
                continue;
            }
            store.badChecksum[next] = 1;
            if (qint64(next) == lastBadIndex) {
                // Twice in a row: keep it, marked.
                accept();
                continue;
            }
            ++retryCount;
            lastBadIndex = next;
            drainBatch(port, slot, batch - k);
            return Done;
        }
        return Done;
    }

    QUSBPort &port;
    const RecordStore &store;
    const quint32 recordCount;
    OperationProgress &progress;
    quint32 next = 0;
    int timeoutsLeft = ShortReadBudget;
    qint64 lastBadIndex = -1;
    quint32 retryCount = 0;
};

OperationResult failed(const char *message)
{
    return OperationResult::failure(OperationResult::Reason::Module, text(message));
}

} // namespace

OperationResult downloadLog(ModuleSession &session, const RecordStore &store, bool full,
                            const QString &fileName, OperationProgress &fetchProgress,
                            OperationProgress &exportProgress)
{
    DownloadObserver nobody;
    return downloadLog(session, store, full, fileName, fetchProgress, exportProgress, nobody);
}

OperationResult downloadLog(ModuleSession &session, const RecordStore &store, bool full,
                            const QString &fileName, OperationProgress &fetchProgress,
                            OperationProgress &exportProgress, DownloadObserver &observer)
{
    unsigned char request[wire::FrameSize] = {};
    unsigned char reply[wire::FrameSize];
    request[0] = full ? wire::LogStartFull : wire::LogStartNew;
    // Only bytes 1..4 of this reply matter; the module's byte 0 is not checked.
    if (session.transact(request, 1, reply) == 0)
        return failed("Download failed.");
    const quint32 recordCount = getUInt32BE(reply + 1);
    if (recordCount == 0)
        return OperationResult::failure(OperationResult::Reason::NothingNew,
                                        text("Nothing new to download."));
    // The store holds no more; better no file than records written past it.
    if (recordCount > store.capacity)
        return OperationResult::failure(
            OperationResult::Reason::Module,
            text("The module offers %1 records, more than the 49,152 that Talvik can "
                 "hold. Nothing was downloaded.")
                .arg(recordCount));
    fetchProgress.setRange(0, int(recordCount));

    const LogRecord::Columns columns = readColumns(session);
    observer.rangeOpened(recordCount, columns);

    Fetch fetch(session.port(), store, recordCount, fetchProgress);
    const Fetch::Result fetched = fetch.run();
    if (fetched == Fetch::Cancelled)
        return OperationResult::failure(OperationResult::Reason::Cancelled, QString());
    fetchProgress.finish();
    if (fetched == Fetch::Failed)
        return failed("Download failed.");
    observer.fetchFinished(fetch.retries());

    // Records that were never saved must stay on offer, so the module hears
    // of success only when both files are in place.
    const OperationResult written =
        writeLogCsv(fileName, store, recordCount, fetch.retries(), columns, exportProgress);
    if (written.failed())
        return written;
    observer.filesWritten(fileName);

    std::fill(std::begin(request), std::end(request), 0);
    request[0] = wire::LogFinish;
    if (session.transact(request, 1, reply) == 0 || reply[0] != 1)
        return failed("Download failed.");
    session.port().flush();
    return OperationResult::success(text("Download complete."));
}
