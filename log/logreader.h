#ifndef LOGREADER_H
#define LOGREADER_H

#include "log/logformat.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <limits>
#include <vector>

// Reads back the two CSV files of a log export: the measurement file and its
// "-system" companion, as the export writes them (and as older versions
// wrote them, without the date's comma on a line with an impossible date).
// Nothing here touches a widget; the log viewer and talvik-cli share it.
namespace LogReader
{

// Seconds since 1970 of a time as the file prints it (the module's own
// clock, printed as stored and headed "UTC"), or NoTime for an empty date.
constexpr qint64 NoTime = std::numeric_limits<qint64>::min();

using Quantity = LogFormat::Quantity;

struct Column {
    QString title; // as the header names it; a second globe column gets " 2"
    QString group; // "Wind", "Temperature", ... in the order the header has them
    Quantity quantity = Quantity::Other;
    QString unit;      // the unit the file fixes; empty where the module's settings choose it
    int decimals = -1; // the most decimals the file prints; -1 for six significant digits
    std::vector<double> values; // one per measurement; NaN where the field is empty
};

struct Event {
    enum Kind { Info, Error, Unknown };
    Kind kind = Unknown;
    quint32 index = 0;
    qint64 time = NoTime;
    // The line after the date, its fields joined by ", " (no checksum mark).
    QString text;
    bool checksumError = false;
    bool clockUpdate = false;
    qint64 clockSetTo = NoTime; // a clock update: the time the clock was set to
    // An erased slot that a download took in: every byte 0xFF, so no date,
    // no kind and the highest record number.
    bool erased = false;
    int line = 0;
};

// The last line of a file that ends without its line end and does not read
// as a whole line: the file was cut short there. The lines before it are
// read; this one is left out.
struct CutLine {
    QString fileName;
    int line = 0;
    QString text; // its start, as the file has it
};

struct Log {
    QString fileName;
    QString systemFileName; // empty when there is no companion beside the file
    std::vector<quint32> index;
    std::vector<qint64> time;
    std::vector<char> checksumError;
    std::vector<Column> columns;
    std::vector<Event> events;
    // -1 without a companion, or when the companion is cut short before its
    // last line
    qint64 retries = -1;
    std::vector<CutLine> cutLines;

    int measurementCount() const { return int(time.size()); }
};

// The header is line 1 and each measurement one line after it.
inline int lineOfMeasurement(int measurement)
{
    return measurement + 2;
}

// Reads fileName and, when it is there, its companion. Given the companion
// itself, reads the measurement file it belongs to. Anything but a regular
// file is refused without being opened for reading. 0 on success; -1 with an
// error naming the file, its line and what is wrong when either is not such
// a file.
int readLog(const QString &fileName, Log &log, QString &error);

// The same from the files' contents; the names are for the messages, and an
// empty systemFileName means there is no companion.
int parseLog(const QString &fileName, const QByteArray &measurements, const QString &systemFileName,
             const QByteArray &system, Log &log, QString &error);

// "yyyy-MM-dd hh:mm:ss" as the file prints it, or "no date" for NoTime.
QString timeText(qint64 time);

} // namespace LogReader

#endif
