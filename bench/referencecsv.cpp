#include "bench/referencecsv.h"

#include "log/logstore.h"
#include "usb/wire.h"

#include <QSaveFile>
#include <QTextStream>

#include <cmath>

namespace reference
{

namespace
{

using LogRecord::ClockUpdate;
using LogRecord::Columns;
using LogRecord::DataEnd;
using LogRecord::DateTimeOffset;
using LogRecord::Error;
using LogRecord::ErrorCodeOffset;
using LogRecord::IndexOffset;
using LogRecord::Information;
using LogRecord::KindOffset;
using LogRecord::Measurement;
using LogRecord::SubKindOffset;
using LogRecord::SystemBooted;
using LogRecord::Text;
using LogRecord::TextOffset;

const char *const DateTimeFormat = "yyyy-MM-dd hh:mm:ss,";

QDateTime unpackLogDateTime(const unsigned char *bytes)
{
    const quint32 packed = getUInt32BE(bytes);
    const QDate date(2000 + int(packed >> 26), int((packed >> 22) & 0x0F),
                     int((packed >> 17) & 0x1F));
    const QTime time(int((packed >> 12) & 0x1F), int((packed >> 6) & 0x3F), int(packed & 0x3F));
    // UTC: the fields are printed as stored, whatever the PC's own zone and
    // its daylight-saving gaps.
    return QDateTime(date, time.isValid() ? time : QTime(0, 0), Qt::UTC);
}

QString dateTimeText(const unsigned char *bytes)
{
    const QDateTime stamp = unpackLogDateTime(bytes);
    // The field stays, empty, so the values after it keep their columns.
    return stamp.isValid() ? stamp.toString(DateTimeFormat) : QStringLiteral(",");
}

} // namespace

QString realText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    if (value == 0)
        return QStringLiteral("0");
    // Unlike printf's %g, this rounds an exact tie away from zero.
    return QString::number(value, 'g', 6);
}

namespace
{

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString recordText(const unsigned char *record, int offset)
{
    return wire::decodeText(record + offset, DataEnd - offset);
}

// Offset and kind of every measurement column, in the file's column order.
enum class Field { Real, Int16, Milli };
struct Column {
    int offset;
    Field field;
    const char *title;
};

const Column MeasurementColumns[] = {
    {9, Field::Real, "Wind"},
    {13, Field::Int16, "Direction"},
    {15, Field::Real, "Wind 2 min"},
    {19, Field::Int16, "Direction 2 min"},
    {21, Field::Real, "Wind 10 min"},
    {25, Field::Int16, "Direction 10 min"},
    {27, Field::Real, "Gust"},
    {31, Field::Int16, "Gust Direction"},
    {33, Field::Int16, "WDS Status"},
    {35, Field::Real, "Temperature"},
    {39, Field::Real, "Humidity"},
    {43, Field::Real, "Pressure"},
    {47, Field::Real, "Pressure Temperature"},
    {51, Field::Int16, "Trend"},
    {53, Field::Int16, "TPH Status"},
    {55, Field::Real, "Rain Inc"},
    {59, Field::Real, "Rain Day"},
    {63, Field::Real, "Rain Rate"},
    {67, Field::Real, "Analog 1"},
    {71, Field::Real, "Analog 2"},
    {75, Field::Milli, "Battery Voltage"},
    {77, Field::Milli, "Input Voltage"},
    {79, Field::Int16, "Charger Status"},
    {81, Field::Int16, "CM Temperature"},
    {83, Field::Int16, "Lightning Strikes"},
    {85, Field::Int16, "Lightning Distance"},
    {87, Field::Int16, "Lightning Noise"},
    {89, Field::Int16, "Lightning Disturber"},
};

// The optional blocks share the bytes from here to the checksum; each one
// found moves the position past itself.
constexpr int BlocksStart = 91;

constexpr int SoilMarker = 0xAA01;
constexpr int SoilSize = 28;
constexpr int SoilValues = 12;
constexpr int SolvaneMarker = 0xAA10;
constexpr int SolvaneSize = 8;
constexpr int GlobeMarker = 0xAA20;
constexpr int GlobeSize = 6;

const char *const ChecksumErrorMark = ",CHECKSUM ERROR";

// A block counts as present only when its marker is there and the whole
// block lies before the checksum; reading never leaves the record.
bool blockAt(const unsigned char *record, int position, int size, int marker)
{
    return position + size <= DataEnd && getUInt16BE(record + position) == marker;
}

QString fieldText(const unsigned char *record, const Column &column)
{
    const unsigned char *bytes = record + column.offset;
    switch (column.field) {
    case Field::Real:
        return realText(getFloatBE(bytes));
    case Field::Int16:
        return QString::number(getInt16BE(bytes));
    case Field::Milli:
        return realText(getInt16BE(bytes) / 1000.0);
    }
    return QString();
}

QString lineStart(const unsigned char *record)
{
    return QString::number(getUInt32BE(record + IndexOffset)) + ',' +
           dateTimeText(record + DateTimeOffset);
}

QString measurementHeader(const Columns &columns)
{
    QString header = QStringLiteral("Index,Date/Time (UTC)");
    for (const Column &column : MeasurementColumns)
        header += QLatin1Char(',') + QLatin1String(column.title);
    if (columns.soil)
        header += QStringLiteral(",Soil Mosture 1,Soil Mosture 2,Soil Mosture 3,Soil Mosture 4,"
                                 "Soil Mosture 5,Soil Mosture 6,Soil Temp 1,Soil Temp 2,"
                                 "Soil Temp 3,Soil Temp 4,Soil Temp 5,Soil Temp 6");
    if (columns.solvane)
        header += QStringLiteral(",Solvane Filtered,Solvane Sensor");
    if (columns.globeTemp1)
        header += QStringLiteral(",WetBulb Globe Temperature");
    if (columns.globeTemp2)
        header += QStringLiteral(",WetBulb Globe Temperature");
    return header;
}

QString systemHeader()
{
    return QStringLiteral("Index,Date/Time (UTC),System Information");
}

QString measurementLine(const unsigned char *record, const Columns &columns, bool badChecksum)
{
    QString line = lineStart(record);
    for (const Column &column : MeasurementColumns)
        line += fieldText(record, column) + QLatin1Char(',');

    int position = BlocksStart;
    if (columns.soil) {
        if (blockAt(record, position, SoilSize, SoilMarker)) {
            for (int i = 0; i < SoilValues; ++i)
                line +=
                    realText(getInt16BE(record + position + 4 + 2 * i) / 100.0) + QLatin1Char(',');
            position += SoilSize;
        } else {
            line += QString(SoilValues, QLatin1Char(','));
        }
    }
    if (columns.solvane) {
        if (blockAt(record, position, SolvaneSize, SolvaneMarker)) {
            line += realText(getInt16BE(record + position + 4) / 10.0) + QLatin1Char(',');
            line += realText(getInt16BE(record + position + 6) / 10.0) + QLatin1Char(',');
            position += SolvaneSize;
        } else {
            line += QStringLiteral(",,");
        }
    }
    for (const bool globe : {columns.globeTemp1, columns.globeTemp2}) {
        if (!globe)
            continue;
        if (blockAt(record, position, GlobeSize, GlobeMarker)) {
            line += realText(getFloatBE(record + position + 2)) + QLatin1Char(',');
            position += GlobeSize;
        } else {
            line += QLatin1Char(',');
        }
    }
    if (badChecksum)
        line += QLatin1String(ChecksumErrorMark);
    return line;
}

QString systemLine(const unsigned char *record, bool badChecksum)
{
    QString line = lineStart(record);
    switch (record[KindOffset]) {
    case Information:
        line += QStringLiteral("Info,");
        switch (record[SubKindOffset]) {
        case SystemBooted:
            line += QStringLiteral("System Booted,Flags: ") +
                    QString::number(getUInt16BE(record + 10)) + QStringLiteral(",CM Ver: ") +
                    QString::number(getInt16BE(record + 12)) + QStringLiteral(",WDS Ver: ") +
                    QString::number(getInt16BE(record + 14)) + QStringLiteral(",TPH Ver: ") +
                    QString::number(getInt16BE(record + 16));
            break;
        case ClockUpdate:
            line += dateTimeText(record + 10) + QString::number(getInt16BE(record + 14)) +
                    QStringLiteral(",Clock Update");
            break;
        case Text:
            line += csvField(recordText(record, TextOffset));
            break;
        default:
            line += QStringLiteral("Unknown");
            break;
        }
        break;
    case Error:
        line += QStringLiteral("Error,") +
                QString::number(static_cast<signed char>(record[ErrorCodeOffset])) +
                QLatin1Char(',') + csvField(recordText(record, TextOffset));
        break;
    default:
        line += QStringLiteral("Unknown Record");
        break;
    }
    if (badChecksum)
        line += QLatin1String(ChecksumErrorMark);
    return line;
}

// One CSV file through a UTF-8 text stream, put in place only by commit.
class CsvFile
{
public:
    explicit CsvFile(const QString &fileName) : file(fileName)
    {
        if (file.open(QIODevice::WriteOnly)) {
            stream.setDevice(&file);
            stream.setCodec("UTF-8");
        }
    }

    void writeLine(const QString &line)
    {
        if (file.isOpen())
            stream << line << "\r\n";
    }

    bool finish()
    {
        if (!file.isOpen())
            return false;
        stream.flush();
        return stream.status() == QTextStream::Ok && file.flush();
    }

    bool commit() { return file.commit(); }

private:
    QSaveFile file;
    QTextStream stream;
};

} // namespace

int writeLogCsv(const QString &fileName, quint32 recordCount, quint32 retryCount,
                const Columns &columns)
{
    const int count = int(qMin<quint32>(recordCount, LogRecord::StoreCapacity));
    CsvFile measurements(fileName);
    CsvFile system(LogRecord::systemFileName(fileName));
    system.writeLine(reference::systemHeader());
    measurements.writeLine(reference::measurementHeader(columns));
    for (int i = 0; i < count; ++i) {
        const unsigned char *record = LogStore[i];
        const bool bad = badChecksum[i] == 1;
        if (record[KindOffset] == Measurement)
            measurements.writeLine(reference::measurementLine(record, columns, bad));
        else
            system.writeLine(reference::systemLine(record, bad));
    }
    system.writeLine(QStringLiteral("Retries ") + QString::number(retryCount));
    const bool written = measurements.finish() && system.finish();
    return written && measurements.commit() && system.commit() ? 0 : -1;
}

} // namespace reference
