#ifndef LOGDOWNLOADER_H
#define LOGDOWNLOADER_H

#include "log/logrecord.h"

#include <QString>
#include <QtGlobal>

class ModuleSession;
class OperationProgress;

// The log download into the program-wide log store (log/logstore.h) and its
// export as two CSV files. No widgets: the window and talvik-cli each show
// the progress and the message their own way.

enum class DownloadOutcome { Complete, NothingNew, Failed, Cancelled };

struct DownloadResult {
    DownloadOutcome outcome = DownloadOutcome::Failed;
    // What to tell the user; empty after a cancel.
    QString message;
    quint32 recordCount = 0;
    quint32 retryCount = 0;
    // Both files are in place, whatever the module said to 0x05 afterwards.
    bool filesWritten = false;
};

// Hears of the download's milestones, for a front end that reports more
// than the progress.
class DownloadObserver
{
public:
    virtual ~DownloadObserver() = default;
    // The module has opened its range and the download will fetch it.
    virtual void rangeOpened(quint32 /*recordCount*/, const LogRecord::Columns & /*columns*/) {}
    // Every record is in the store; the export comes next.
    virtual void fetchFinished(quint32 /*retryCount*/) {}
};

// The whole download once the file name is known: 0x02 (full) or 0x03, the
// four column switches, the fetch with its retries into the log store, both
// CSV files, and 0x05 only once both files are safely in place.
//
// fetchProgress shows "Downloading Log N of M" and is asked for a cancel
// before every batch and every 16th record. It is finished when the records
// are all in or the retries are used up; when the download ends before the
// fetch (no reply, nothing new, too many records) or on a cancel it is left
// as it is, so the caller decides what stays on screen under its message.
// exportProgress gets the range of the export and is finished after it.
DownloadResult downloadLog(ModuleSession &session, bool full, const QString &fileName,
                           OperationProgress &fetchProgress, OperationProgress &exportProgress);
DownloadResult downloadLog(ModuleSession &session, bool full, const QString &fileName,
                           OperationProgress &fetchProgress, OperationProgress &exportProgress,
                           DownloadObserver &observer);

// Writes slots 0 .. recordCount - 1 of the log store as the measurement file
// and its "-system" companion. Neither file replaces an older one unless
// both are written whole. 0 on success; -1 with the text naming the files
// that could not be saved.
int writeLogCsv(const QString &fileName, quint32 recordCount, quint32 retryCount,
                const LogRecord::Columns &columns, OperationProgress &progress, QString &message);

#endif
