#include "app/talvik.h"

#include "app/progresswindow.h"
#include "log/logdownloader.h"
#include "usb/modulesession.h"
#include "usb/operationprogress.h"
#include "usb/qusbport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QStatusBar>

#include <memory>

namespace
{
// A progress window of the download, shown at the first range it is given:
// the fetch's at once, the export's only when the export begins. Finishing
// hides and closes it and lets the screen catch up.
class DownloadProgress : public OperationProgress
{
public:
    DownloadProgress(const QString &label, const QString &cancelText, QWidget *parent)
        : label(label), cancelText(cancelText), parent(parent)
    {
    }

    void setRange(int minimum, int maximum) override
    {
        if (window != nullptr) {
            window->setRange(minimum, maximum);
            return;
        }
        window = std::make_unique<ProgressWindow>(label, cancelText, minimum, maximum, parent);
        window->setWindowTitle(QCoreApplication::translate("Talvik", "Talvik"));
        window->setWindowModality(Qt::WindowModal);
        window->setMinimumDuration(0);
        window->show();
    }
    void setLabel(const QString &text) override
    {
        if (window != nullptr)
            window->setLabelText(text);
    }
    void setValue(int value) override
    {
        if (window != nullptr)
            window->setValue(value);
    }
    bool cancelled() override
    {
        QCoreApplication::processEvents();
        return window != nullptr && window->wasCanceled();
    }
    void finish() override
    {
        if (window != nullptr) {
            window->hide();
            window->close();
        }
        QCoreApplication::processEvents();
    }

private:
    const QString label;
    const QString cancelText;
    QWidget *const parent;
    std::unique_ptr<ProgressWindow> window;
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

    DownloadProgress fetchProgress(tr("Downloading Log Information..."), tr("Cancel"), this);
    fetchProgress.setRange(0, 100);
    DownloadProgress exportProgress(tr("Processing Log Information..."), QString(), this);
    const DownloadResult result =
        ::downloadLog(*session, full, fileName, fetchProgress, exportProgress);

    switch (result.outcome) {
    case DownloadOutcome::Complete:
        lastLogFile = fileName;
        statusBar()->showMessage(savedStatus);
        showMessage(false, result.message);
        break;
    case DownloadOutcome::Cancelled:
        if (usbPort->isDeviceOpen())
            statusBar()->showMessage(savedStatus);
        else
            showConnectionState();
        break;
    case DownloadOutcome::NothingNew:
    case DownloadOutcome::Failed:
        showMessage(true, result.message);
        // The text saved before may say "Connected" of a module that has
        // left since, so a failure shows what the port holds now.
        showConnectionState();
        break;
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
    DownloadProgress progress(tr("Processing Log Information..."), QString(), this);
    QString message;
    if (::writeLogCsv(fileName, recordCount, retryCount, columns, progress, message) == 0)
        return 0;
    showMessage(true, message);
    return -1;
}
