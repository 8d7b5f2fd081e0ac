#include "app/talvik.h"

#include "app/stationarchive.h"
#include "app/visitrecorder.h"
#include "app/windowprogress.h"
#include "log/logcsv.h"
#include "log/logdownloader.h"
#include "usb/modulesession.h"
#include "usb/qusbport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QStatusBar>

namespace
{
// Hands the download to the archive, unless the module was reconnected
// while it ran: then the records may be another module's.
class ArchivingObserver : public DownloadObserver
{
public:
    ArchivingObserver(archive::DownloadArchiver *archiver, const StationArchive &stations)
        : archiver(archiver), stations(stations), connection(stations.connection())
    {
    }

    void rangeOpened(quint32 count, const LogRecord::Columns &columns) override
    {
        records = count;
        if (archiver != nullptr)
            archiver->rangeOpened(count, columns);
    }
    void fetchFinished(quint32 retryCount) override
    {
        retries = retryCount;
        if (archiver != nullptr)
            archiver->fetchFinished(retryCount);
    }
    void filesWritten(const QString &fileName) override
    {
        written = true;
        if (archiver != nullptr && stations.connection() == connection)
            archiver->filesWritten(fileName);
    }

    bool written = false;
    quint32 records = 0;
    quint32 retries = 0;

private:
    archive::DownloadArchiver *const archiver;
    const StationArchive &stations;
    const quint64 connection;
};
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

    // The fetch's window is shown at once; the export's only when the export
    // begins.
    WindowProgress fetchProgress(tr("Downloading Log Information..."), tr("Cancel"),
                                 WindowProgress::OnFinish::HideAndClose, this);
    fetchProgress.setRange(0, 100);
    WindowProgress exportProgress(tr("Processing Log Information..."), QString(),
                                  WindowProgress::OnFinish::HideAndClose, this);
    // The station is known before the start command, or the download is
    // not archived.
    const std::unique_ptr<archive::DownloadArchiver> archiver =
        stationArchive->archiverFor(*session, full);
    ArchivingObserver observer(archiver.get(), *stationArchive);
    const OperationResult result = ::downloadLog(*session, RecordStore::programWide(), full,
                                                 fileName, fetchProgress, exportProgress, observer);
    stationArchive->downloadEnded(archiver.get(), observer.written);
    VisitRecorder::DownloadCounts counts;
    counts.full = full;
    counts.records = observer.records;
    counts.retries = observer.retries;
    counts.archived = archiver && archiver->attempted() && archiver->result().succeeded();
    counts.newToArchive = counts.archived ? archiver->summary().newRecords : 0;
    visits->downloaded(counts, fileName, observer.written, result);

    if (result.succeeded()) {
        lastLogFile = fileName;
        statusBar()->showMessage(savedStatus);
        showResult(result);
    } else if (result.reason() == OperationResult::Reason::Cancelled) {
        if (usbPort->isDeviceOpen())
            statusBar()->showMessage(savedStatus);
        else
            showConnectionState();
    } else {
        showResult(result);
        // The text saved before may say "Connected" of a module that has
        // left since, so a failure shows what the port holds now.
        showConnectionState();
    }
}

int Talvik::writeLogCsv(const QString &fileName, quint32 recordCount, quint32 retryCount,
                        bool withSoil, bool withSolvane, bool withGlobeTemp1, bool withGlobeTemp2)
{
    LogRecord::Columns columns;
    columns.soil = withSoil;
    columns.solvane = withSolvane;
    columns.globeTemp1 = withGlobeTemp1;
    columns.globeTemp2 = withGlobeTemp2;
    WindowProgress progress(tr("Processing Log Information..."), QString(),
                            WindowProgress::OnFinish::HideAndClose, this);
    const OperationResult written = ::writeLogCsv(fileName, RecordStore::programWide(), recordCount,
                                                  retryCount, columns, progress);
    if (written.succeeded())
        return 0;
    showResult(written);
    return -1;
}
