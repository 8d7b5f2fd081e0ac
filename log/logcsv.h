#ifndef LOGCSV_H
#define LOGCSV_H

#include "core/operationresult.h"
#include "log/logrecord.h"
#include "log/logstore.h"

#include <QString>

class OperationProgress;

// Writes slots 0 .. recordCount - 1 of store as the measurement file and its
// "-system" companion. Neither file replaces an older one unless both are
// written whole. A failure names the files that could not be saved.
OperationResult writeLogCsv(const QString &fileName, const RecordStore &store, quint32 recordCount,
                            quint32 retryCount, const LogRecord::Columns &columns,
                            OperationProgress &progress);

// Two texts of whole lines (CR LF ends included) as the measurement file
// and its companion, with the same care as writeLogCsv: for files written
// again from the archive.
OperationResult writeLogFiles(const QString &fileName, const QByteArray &measurementText,
                              const QByteArray &systemText);

#endif
