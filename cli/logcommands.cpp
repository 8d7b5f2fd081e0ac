#include "archive/archivedatabase.h"
#include "archive/archivelocation.h"
#include "archive/downloadarchiver.h"
#include "archive/visitrecord.h"
#include "cli/collection.h"
#include "cli/commands.h"
#include "cli/filetargets.h"
#include "cli/moduleconnection.h"
#include "cli/terminalprogress.h"
#include "log/logdownloader.h"
#include "log/logrecord.h"
#include "log/logstore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <memory>

namespace cli
{

namespace
{
QString tr(const char *text)
{
    return QCoreApplication::translate("talvik-cli", text);
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// A free name in folder for both files of the pair: the window's suggestion,
// then "Log yyyy-MM-dd hh-mm (2).csv" and on.
QString freeName(const QDir &folder, const QString &stem)
{
    for (int n = 1;; ++n) {
        const QString name =
            folder.filePath(n == 1 ? stem + ".csv" : QString("%1 (%2).csv").arg(stem).arg(n));
        if (nodeKind(name) == NodeKind::Missing &&
            nodeKind(LogRecord::systemFileName(name)) == NodeKind::Missing)
            return name;
    }
}

// The measurement file a download writes, or a refusal (its exit code in
// refused). A folder gets the file name the window suggests, so a daily
// timer can write one file per run without a shell to make up names; a
// download of new records never replaces a file there. A name without
// ".csv" gets it, so that its companion is "NAME-system.csv".
QString exportFileName(const Invocation &invocation, Console &console, int &refused)
{
    const QString output = invocation.value("--output");
    const bool onlyNew = invocation.has("--new");
    refused = Success;
    if (isSystemNode(output)) {
        refused = usageError(console, tr("%1: a log is never written into %2.")
                                          .arg(native(output), native(QFileInfo(output).path())));
        return QString();
    }
    if (nodeKind(output) == NodeKind::Folder || output.endsWith('/')) {
        const QDir folder(output);
        const QString stem = QDateTime::currentDateTime().toString("'Log 'yyyy-MM-dd hh-mm");
        return onlyNew ? freeName(folder, stem) : folder.filePath(stem + ".csv");
    }

    QString fileName = output;
    if (!fileName.endsWith(".csv", Qt::CaseInsensitive))
        fileName += ".csv";
    const QString systemName = LogRecord::systemFileName(fileName);
    // The name given, then the two files written.
    for (const QString &name : {output, fileName, systemName}) {
        const NodeKind kind = nodeKind(name);
        if (kind != NodeKind::Missing && kind != NodeKind::RegularFile) {
            refused = usageError(console, tr("%1 is %2; 'log download -o' writes a folder or a "
                                             "regular file.")
                                              .arg(native(name), nodeDescription(name)));
            return QString();
        }
    }
    // The module counts new records as fetched once they are saved: a file
    // replaced now would lose the last ones for good.
    for (const QString &name : {fileName, systemName}) {
        if (onlyNew && !invocation.has("--force") && nodeKind(name) == NodeKind::RegularFile) {
            refused = usageError(console, tr("%1 exists, and 'log download --new' does not "
                                             "replace it. Give another name or a folder, or "
                                             "add --force.")
                                              .arg(native(name)));
            return QString();
        }
    }
    return fileName;
}

// Whether both files were in place when the download ended.
class FilesWatch : public DownloadObserver
{
public:
    void rangeOpened(quint32 count, const LogRecord::Columns &columns) override
    {
        if (archiver)
            archiver->rangeOpened(count, columns);
    }
    void fetchFinished(quint32 retries) override
    {
        if (archiver)
            archiver->fetchFinished(retries);
    }
    void filesWritten(const QString &fileName) override
    {
        written = true;
        if (archiver)
            archiver->filesWritten(fileName);
    }
    bool written = false;
    // The archive's part of the download, when it is kept there.
    std::unique_ptr<archive::DownloadArchiver> archiver;
};

// Readies the archive for this download: the archive of --archive FILE, or
// the user's unless --no-archive or the preference says otherwise, and the
// module's identity. Whatever stands in the way is said and the download
// runs without the archive.
void prepareArchive(const Invocation &invocation, ModuleConnection &connection, Console &console,
                    bool full, std::unique_ptr<archive::Database> &database, FilesWatch &files)
{
    if (invocation.has("--no-archive"))
        return;
    const archive::Location location = invocation.values.contains("--archive")
                                           ? archive::Location{true, invocation.value("--archive")}
                                           : archive::localArchive(archive::archivePreference());
    if (!location.enabled)
        return;
    const OperationResult opened = archive::Database::openLocal(location.path, database);
    if (opened.failed()) {
        tell(console, tr("Not archived. %1").arg(opened.message()));
        return;
    }
    archive::StationIdentity station;
    const OperationResult identified = archive::askStationIdentity(connection.session(), station);
    if (identified.failed()) {
        tell(console, tr("Not archived. %1").arg(identified.message()));
        return;
    }
    if (!archive::archivableSerial(station.serial)) {
        tell(
            console,
            tr("Not archived: the module has no serial number (it reads %1).").arg(station.serial));
        return;
    }
    files.archiver = std::make_unique<archive::DownloadArchiver>(
        *database, RecordStore::programWide(), archive::downloadFactsFor(station, full));
}
} // namespace

int downloadLog(const Invocation &invocation, ModuleConnection &connection, Console &console)
{
    if (invocation.value("--output").isEmpty())
        return usageError(console, tr("'log download' needs -o FILE.csv."));
    int refused = Success;
    const QString fileName = exportFileName(invocation, console, refused);
    if (refused != Success)
        return refused;

    const int opened = connection.open();
    if (opened != Success)
        return opened;
    TerminalProgress fetchProgress(console.err, console.progressBars);
    TerminalProgress exportProgress(console.err, console.progressBars);
    exportProgress.setLabel(tr("Writing CSV files"));
    const bool full = !invocation.has("--new");
    std::unique_ptr<archive::Database> database;
    FilesWatch files;
    prepareArchive(invocation, connection, console, full, database, files);
    const OperationResult result =
        ::downloadLog(connection.session(), RecordStore::programWide(), full, fileName,
                      fetchProgress, exportProgress, files);
    fetchProgress.finish();
    exportProgress.finish();
    // The archive's word comes first; it never changes how the download ended.
    if (files.archiver && files.archiver->attempted())
        tell(console, files.archiver->statusText());
    if (files.archiver) {
        const archive::DownloadArchiver &archiver = *files.archiver;
        const bool archived = archiver.attempted() && archiver.result().succeeded();
        CollectionRecord collection(connection, console);
        collection.setSerial(archiver.serial());
        collection.record(archive::action::Download, result,
                          {{"full", full},
                           {"records", qint64(archiver.recordCount())},
                           {"retries", qint64(archiver.retryCount())},
                           {"archived", archived},
                           {"newToArchive", archived ? archiver.summary().newRecords : 0},
                           {"file", fileName},
                           {"nothingNew", result.reason() == OperationResult::Reason::NothingNew}});
    }

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
    if (!result.detail().isEmpty())
        tell(console, result.detail());
    if (files.written)
        tell(console, tr("Both files were written, but the module still counts the records "
                         "as new."));
    return Failed;
}

} // namespace cli
