#ifndef LOGREADER_H
#define LOGREADER_H

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

// What a column measures, as far as the health check needs to know.
enum class Quantity {
    Temperature,
    Humidity,
    Pressure,
    WindSpeed,
    Direction,
    BatteryVoltage,
    InputVoltage,
    Rain,
    Status,
    Other
};

struct Column {
    QString title; // as the header names it; a second globe column gets " 2"
    QString group; // "Wind", "Temperature", ... in the order the header has them
    Quantity quantity = Quantity::Other;
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
    int line = 0;
};

struct Log {
    QString fileName;
    QString systemFileName; // empty when there is no companion beside the file
    std::vector<quint32> index;
    std::vector<qint64> time;
    std::vector<char> checksumError;
    std::vector<Column> columns;
    std::vector<Event> events;
    qint64 retries = -1; // -1 without a companion

    int measurementCount() const { return int(time.size()); }
};

// Reads fileName and, when it is there, its companion. Given the companion
// itself, reads the measurement file it belongs to. 0 on success; -1 with
// an error naming the file and its line when either is not such a file.
int readLog(const QString &fileName, Log &log, QString &error);

// "yyyy-MM-dd hh:mm:ss" as the file prints it, or "no date" for NoTime.
QString timeText(qint64 time);

} // namespace LogReader

#endif
