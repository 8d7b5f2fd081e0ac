#ifndef LOGDOWNLOADER_H
#define LOGDOWNLOADER_H

#include "core/operationresult.h"
#include "log/logrecord.h"
#include "log/logstore.h"

#include <QString>
#include <QtGlobal>

class ModuleSession;
class OperationProgress;

// The log download into a record store (log/logstore.h) and its export as
// two CSV files (log/logcsv.h). No widgets: the window and talvik-cli each
// show the progress and the message their own way.

// Hears of the download's milestones, for a front end that reports more
// than the progress, and for whatever keeps the records it brought.
class DownloadObserver
{
public:
    virtual ~DownloadObserver() = default;
    // The module has opened its range and the download will fetch it.
    virtual void rangeOpened(quint32 /*recordCount*/, const LogRecord::Columns & /*columns*/) {}
    // Every record is in the store; the export comes next.
    virtual void fetchFinished(quint32 /*retryCount*/) {}
    // Both files are in place; the module has not yet heard that they are.
    virtual void filesWritten(const QString & /*fileName*/) {}
};

// The whole download once the file name is known: 0x02 (full) or 0x03, the
// four column switches, the fetch with its retries into store, both CSV
// files, and 0x05 only once both files are safely in place.
//
// fetchProgress shows "Downloading Log N of M" and is asked for a cancel
// before every batch and every 16th record. It is finished when the records
// are all in or the retries are used up; when the download ends before the
// fetch (no reply, nothing new, too many records) or on a cancel it is left
// as it is, so the caller decides what stays on screen under its message.
// exportProgress gets the range of the export and is finished after it.
//
// Succeeds with "Download complete."; fails with Reason::NothingNew when the
// module has no new records, Reason::Cancelled (no message) on a cancel,
// Reason::File when the files could not be written, and Reason::Module
// otherwise.
OperationResult downloadLog(ModuleSession &session, const RecordStore &store, bool full,
                            const QString &fileName, OperationProgress &fetchProgress,
                            OperationProgress &exportProgress);
OperationResult downloadLog(ModuleSession &session, const RecordStore &store, bool full,
                            const QString &fileName, OperationProgress &fetchProgress,
                            OperationProgress &exportProgress, DownloadObserver &observer);

#endif
