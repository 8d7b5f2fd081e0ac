#ifndef QUALITYFLAGS_H
#define QUALITYFLAGS_H

#include "log/logreader.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

// A quality flag on every value of the columns the health check has rules
// for, in the codes of the QARTOD manuals: 1 good, 3 suspect, 4 bad, 9
// missing. The rules and their numbers are the health check's (range,
// stuck) and a spike rule beside them; the values themselves are never
// changed or dropped.
namespace QualityFlags
{

enum Flag : quint8 { Good = 1, Suspect = 3, Bad = 4, Missing = 9 };

struct ColumnFlags {
    int column = 0;            // its place in the log
    std::vector<quint8> flags; // one per measurement
};

// Whether a column gets flags: it measures something a rule knows.
bool isChecked(const LogReader::Column &column);

// How many of the column's unit make one of the unit the spike limits are
// given in (°C, hPa, m/s): 1.8 for °F, 0.02953 for inHg, ...; 1 for an
// empty or unknown unit.
double unitScale(const QString &unit);

// Flags for every checked column of the log. scales, when given, holds one
// unitScale per column of the log.
std::vector<ColumnFlags> flagLog(const LogReader::Log &log, const std::vector<double> &scales = {});

// The flags file: "Index,Date/Time (UTC)", then one column per checked
// column, a line per measurement in the log's order, CR LF ends.
QByteArray flagsCsv(const LogReader::Log &log, const std::vector<ColumnFlags> &flags);

// "-flags" before the last four characters of the measurement file's name.
QString flagsFileName(const QString &fileName);

} // namespace QualityFlags

#endif
