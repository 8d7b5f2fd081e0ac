#include "log/logrecord.h"

#include "log/numbertext.h"

#include <cstring>

namespace LogRecord
{

namespace
{

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

const char ChecksumErrorMark[] = ",CHECKSUM ERROR";

// Big-endian fields. An export reads every field of every record, so these
// are inlined here rather than called from the wire code.
inline quint32 uint32At(const unsigned char *bytes)
{
    return (quint32(bytes[0]) << 24) | (quint32(bytes[1]) << 16) | (quint32(bytes[2]) << 8) |
           quint32(bytes[3]);
}

inline int uint16At(const unsigned char *bytes)
{
    return (bytes[0] << 8) | bytes[1];
}

inline int int16At(const unsigned char *bytes)
{
    const int value = uint16At(bytes);
    return value >= 0x8000 ? value - 0x10000 : value;
}

inline float floatAt(const unsigned char *bytes)
{
    const quint32 bits = uint32At(bytes);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

template <int N> char *appendLiteral(char *out, const char (&text)[N])
{
    std::memcpy(out, text, N - 1);
    return out + N - 1;
}

// The two digits of a number below 100.
char *appendPair(char *out, int n)
{
    out[0] = static_cast<char>('0' + n / 10);
    out[1] = static_cast<char>('0' + n % 10);
    return out + 2;
}

// A block counts as present only when its marker is there and the whole
// block lies before the checksum; reading never leaves the record.
bool blockAt(const unsigned char *record, int position, int size, int marker)
{
    return position + size <= DataEnd && uint16At(record + position) == marker;
}

char *appendField(char *out, const unsigned char *record, const Column &column)
{
    const unsigned char *bytes = record + column.offset;
    switch (column.field) {
    case Field::Real:
        return NumberText::appendReal(out, floatAt(bytes));
    case Field::Int16:
        return NumberText::appendInt(out, int16At(bytes));
    case Field::Milli:
        return NumberText::appendFixed(out, int16At(bytes), 3);
    }
    return out;
}

char *appendLineStart(char *out, const unsigned char *record)
{
    out = NumberText::appendInt(out, uint32At(record + IndexOffset));
    *out++ = ',';
    return appendDateTime(out, record + DateTimeOffset);
}

// The Latin-1 text from offset up to its NUL or the end of the record data,
// as one field in UTF-8: quoted, its quotes doubled, only when it holds a
// comma, a quote or a line end.
char *appendTextField(char *out, const unsigned char *record, int offset)
{
    const unsigned char *text = record + offset;
    const unsigned char *end = text;
    bool quoted = false;
    for (; end < record + DataEnd && *end != '\0'; ++end)
        quoted = quoted || *end == ',' || *end == '"' || *end == '\r' || *end == '\n';
    if (quoted)
        *out++ = '"';
    for (; text < end; ++text) {
        const unsigned char c = *text;
        if (c < 0x80) {
            if (c == '"')
                *out++ = '"';
            *out++ = static_cast<char>(c);
        } else {
            *out++ = static_cast<char>(0xC0 | (c >> 6));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    if (quoted)
        *out++ = '"';
    return out;
}

// The packed fields as stored.
struct Stamp {
    int year, month, day, hour, minute, second;
};

// False for an impossible date; an impossible time reads as 00:00:00.
bool unpackStamp(const unsigned char *bytes, Stamp &stamp)
{
    const quint32 packed = uint32At(bytes);
    stamp = {2000 + int(packed >> 26),   int((packed >> 22) & 0x0F), int((packed >> 17) & 0x1F),
             int((packed >> 12) & 0x1F), int((packed >> 6) & 0x3F),  int(packed & 0x3F)};
    static const int Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (stamp.month < 1 || stamp.month > 12 || stamp.day < 1)
        return false;
    const bool leap = stamp.year % 4 == 0 && (stamp.year % 100 != 0 || stamp.year % 400 == 0);
    if (stamp.day > Days[stamp.month - 1] + (stamp.month == 2 && leap ? 1 : 0))
        return false;
    if (stamp.hour > 23 || stamp.minute > 59 || stamp.second > 59)
        stamp.hour = stamp.minute = stamp.second = 0;
    return true;
}

} // namespace

quint16 checksum(const unsigned char *record)
{
    quint16 sum = 0;
    for (int i = 0; i < DataEnd; ++i)
        sum = static_cast<quint16>(sum + static_cast<signed char>(record[i]));
    return sum;
}

bool checksumMatches(const unsigned char *record)
{
    return checksum(record) == uint16At(record + ChecksumOffset);
}

bool isErased(const unsigned char *record)
{
    return record[ErasedMarkOffset] == 0xFF;
}

QDateTime unpackLogDateTime(const unsigned char *bytes)
{
    Stamp s;
    if (!unpackStamp(bytes, s))
        return QDateTime();
    // UTC: the fields are printed as stored, whatever the PC's own zone and
    // its daylight-saving gaps.
    return QDateTime(QDate(s.year, s.month, s.day), QTime(s.hour, s.minute, s.second), Qt::UTC);
}

char *appendDateTime(char *out, const unsigned char *bytes)
{
    Stamp s;
    // An impossible date leaves the field empty; it stays, so the values
    // after it keep their columns.
    if (unpackStamp(bytes, s)) {
        out = appendPair(out, s.year / 100);
        out = appendPair(out, s.year % 100);
        *out++ = '-';
        out = appendPair(out, s.month);
        *out++ = '-';
        out = appendPair(out, s.day);
        *out++ = ' ';
        out = appendPair(out, s.hour);
        *out++ = ':';
        out = appendPair(out, s.minute);
        *out++ = ':';
        out = appendPair(out, s.second);
    }
    *out++ = ',';
    return out;
}

QString dateTimeText(const unsigned char *bytes)
{
    char text[24];
    return QString::fromLatin1(text, int(appendDateTime(text, bytes) - text));
}

QString realText(double value)
{
    char text[NumberText::MaxRealLength];
    return QString::fromLatin1(text, int(NumberText::appendReal(text, value) - text));
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

char *appendMeasurementLine(char *out, const unsigned char *record, const Columns &columns,
                            bool badChecksum)
{
    out = appendLineStart(out, record);
    for (const Column &column : MeasurementColumns) {
        out = appendField(out, record, column);
        *out++ = ',';
    }

    int position = BlocksStart;
    if (columns.soil) {
        if (blockAt(record, position, SoilSize, SoilMarker)) {
            for (int i = 0; i < SoilValues; ++i) {
                out = NumberText::appendFixed(out, int16At(record + position + 4 + 2 * i), 2);
                *out++ = ',';
            }
            position += SoilSize;
        } else {
            std::memset(out, ',', SoilValues);
            out += SoilValues;
        }
    }
    if (columns.solvane) {
        if (blockAt(record, position, SolvaneSize, SolvaneMarker)) {
            out = NumberText::appendFixed(out, int16At(record + position + 4), 1);
            *out++ = ',';
            out = NumberText::appendFixed(out, int16At(record + position + 6), 1);
            *out++ = ',';
            position += SolvaneSize;
        } else {
            out = appendLiteral(out, ",,");
        }
    }
    for (const bool globe : {columns.globeTemp1, columns.globeTemp2}) {
        if (!globe)
            continue;
        if (blockAt(record, position, GlobeSize, GlobeMarker)) {
            out = NumberText::appendReal(out, floatAt(record + position + 2));
            position += GlobeSize;
        }
        *out++ = ',';
    }
    if (badChecksum)
        out = appendLiteral(out, ChecksumErrorMark);
    return out;
}

char *appendSystemLine(char *out, const unsigned char *record, bool badChecksum)
{
    out = appendLineStart(out, record);
    switch (record[KindOffset]) {
    case Information:
        out = appendLiteral(out, "Info,");
        switch (record[SubKindOffset]) {
        case SystemBooted:
            out = appendLiteral(out, "System Booted,Flags: ");
            out = NumberText::appendInt(out, uint16At(record + 10));
            out = appendLiteral(out, ",CM Ver: ");
            out = NumberText::appendInt(out, int16At(record + 12));
            out = appendLiteral(out, ",WDS Ver: ");
            out = NumberText::appendInt(out, int16At(record + 14));
            out = appendLiteral(out, ",TPH Ver: ");
            out = NumberText::appendInt(out, int16At(record + 16));
            break;
        case ClockUpdate:
            out = appendDateTime(out, record + 10);
            out = NumberText::appendInt(out, int16At(record + 14));
            out = appendLiteral(out, ",Clock Update");
            break;
        case Text:
            out = appendTextField(out, record, TextOffset);
            break;
        default:
            out = appendLiteral(out, "Unknown");
            break;
        }
        break;
    case Error:
        out = appendLiteral(out, "Error,");
        out = NumberText::appendInt(out, static_cast<signed char>(record[ErrorCodeOffset]));
        *out++ = ',';
        out = appendTextField(out, record, TextOffset);
        break;
    default:
        out = appendLiteral(out, "Unknown Record");
        break;
    }
    if (badChecksum)
        out = appendLiteral(out, ChecksumErrorMark);
    return out;
}

QString measurementLine(const unsigned char *record, const Columns &columns, bool badChecksum)
{
    char line[MaxLineLength];
    return QString::fromUtf8(line,
                             int(appendMeasurementLine(line, record, columns, badChecksum) - line));
}

QString systemLine(const unsigned char *record, bool badChecksum)
{
    char line[MaxLineLength];
    return QString::fromUtf8(line, int(appendSystemLine(line, record, badChecksum) - line));
}

QString systemFileName(const QString &fileName)
{
    return fileName.left(qMax(0, fileName.size() - 4)) + QStringLiteral("-system") +
           fileName.right(4);
}

} // namespace LogRecord
