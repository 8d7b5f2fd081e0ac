#ifndef HISTORY_H
#define HISTORY_H

#include "core/operationresult.h"
#include "log/logrecord.h"

#include <QString>
#include <QtGlobal>

#include <limits>
#include <vector>

// A station's history as the archive keeps it: every record once, the clean
// copy where there is one, ordered by the module's time and then by index.
namespace archive
{

class Database;

// Seconds since 1970 as the module's clock stored them.
constexpr qint64 NoLimit = std::numeric_limits<qint64>::min();

// from and to as the bounds of a query: NoLimit is the lowest or the
// highest time there is.
qint64 lowerBound(qint64 from);
qint64 upperBound(qint64 to);

// The column groups of every download that brought a record of the
// station's history from..to (inclusive).
OperationResult rangeColumns(Database &database, quint32 serial, qint64 from, qint64 to,
                             LogRecord::Columns &columns);

// The history from..to (inclusive; NoLimit for either end) as the two files
// a download writes: each record's Index as stored, the column groups of
// every download that brought them, and "Retries 0".
OperationResult exportStation(Database &database, quint32 serial, qint64 from, qint64 to,
                              const QString &fileName, qint64 &recordCount);

// The times of the station's measurements in its history, in order.
OperationResult measurementTimes(Database &database, quint32 serial, std::vector<qint64> &times);

// Takes a download out of the archive, a wrong import or a wrong station:
// the records only it brought go with it, and a marked copy that it had
// replaced comes back into the history.
OperationResult removeDownload(Database &database, qint64 downloadId);

// A consistent copy of the whole archive, while the window or a timer may
// be using it. An existing file is not replaced.
OperationResult backUp(Database &database, const QString &fileName);

} // namespace archive

#endif
