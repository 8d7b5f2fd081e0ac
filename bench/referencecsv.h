#ifndef REFERENCECSV_H
#define REFERENCECSV_H

#include "log/logrecord.h"

#include <QString>

// The log export as it was before it formatted into one buffer: QString
// lines, QString::number for the numbers, QDateTime::toString for the dates
// and a UTF-8 QTextStream per file. Kept only so the benchmark can show that
// the export still writes the same bytes, and what it cost.
namespace reference
{

// A number as the export wrote it: 'g' with six digits, an exact tie rounded
// away from zero, and nan, inf, -inf and 0 spelled out.
QString realText(double value);

// Writes slots 0 .. recordCount - 1 of the log store as the measurement file
// and its "-system" companion, as writeLogCsv did; 0 when both were written.
int writeLogCsv(const QString &fileName, quint32 recordCount, quint32 retryCount,
                const LogRecord::Columns &columns);

} // namespace reference

#endif
