#include "cli/commands.h"
#include "cli/moduleconnection.h"
#include "cli/terminalprogress.h"
#include "log/logdownloader.h"
#include "log/logrecord.h"
#include "log/logstore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace cli
{

namespace
{
QString tr(const char *text)
{
    return QCoreApplication::translate("talvik-cli", text);
}

// A folder gets the file name the window suggests, so a daily timer can
// write one file per run without a shell to make up names.
QString exportFileName(const QString &output)
{
    const QFileInfo target(output);
    if (!target.isDir() && !output.endsWith('/'))
        return output;
    return QDir(output).filePath(
        QDateTime::currentDateTime().toString("'Log 'yyyy-MM-dd hh-mm'.csv'"));
}
// Whether both files were in place when the download ended.
class FilesWatch : public DownloadObserver
{
public:
    void filesWritten(const QString &) override { written = true; }
    bool written = false;
};
} // namespace

int downloadLog(const Invocation &invocation, ModuleConnection &connection, Console &console)
{
    const QString output = invocation.value("--output");
    if (output.isEmpty())
        return usageError(console, tr("'log download' needs -o FILE.csv."));
    const QString fileName = exportFileName(output);
    if (!QFileInfo(QFileInfo(fileName).absolutePath()).isDir())
        return usageError(console,
                          tr("the folder of %1 does not exist.")
                              .arg(QDir::toNativeSeparators(QFileInfo(fileName).absolutePath())));

    const int opened = connection.open();
    if (opened != Success)
        return opened;
    TerminalProgress fetchProgress(console.err, console.progressBars);
    TerminalProgress exportProgress(console.err, console.progressBars);
    exportProgress.setLabel(tr("Writing CSV files"));
    FilesWatch files;
    const OperationResult result =
        ::downloadLog(connection.session(), RecordStore::programWide(), !invocation.has("--new"),
                      fileName, fetchProgress, exportProgress, files);
    fetchProgress.finish();
    exportProgress.finish();

    switch (result.reason()) {
    case OperationResult::Reason::None:
        tell(console, result.message());
        console.out << QDir::toNativeSeparators(fileName) << '\n'
                    << QDir::toNativeSeparators(LogRecord::systemFileName(fileName)) << '\n';
        console.out.flush();
        return Success;
    case OperationResult::Reason::NothingNew:
        // A quiet day is no failure for a timer.
        tell(console, result.message());
        return Success;
    case OperationResult::Reason::Cancelled:
        tell(console, tr("Download cancelled. The module still offers the records."));
        return Failed;
    default:
        break;
    }
    tell(console, result.message());
    if (files.written)
        tell(console, tr("Both files were written, but the module still counts the records "
                         "as new."));
    return Failed;
}

} // namespace cli
