#include "log/logrecord.h"

#include "log/logformat.h"
#include "log/numbertext.h"

#include <cstring>
#include <limits>

namespace LogRecord
{

namespace
{

using LogFormat::Encoding;

// The optional blocks share the bytes from here to the checksum; each one
// found moves the position past itself.
constexpr int BlocksStart = 91;

constexpr int SoilMarker = 0xAA01;
constexpr int SoilSize = 28;
constexpr int SoilValues = int(std::tuple_size<decltype(LogFormat::SoilColumns)>::value);
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

char *appendValue(char *out, const unsigned char *bytes, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Real:
        return NumberText::appendReal(out, floatAt(bytes));
    case Encoding::Int16:
        return NumberText::appendInt(out, int16At(bytes));
    case Encoding::Milli:
        return NumberText::appendFixed(out, int16At(bytes), 3);
    case Encoding::Hundredths:
        return NumberText::appendFixed(out, int16At(bytes), 2);
    case Encoding::Tenths:
        return NumberText::appendFixed(out, int16At(bytes), 1);
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
    return LogFormat::measurementHeader(columns.soil, columns.solvane, columns.globeTemp1,
                                        columns.globeTemp2);
}

QString systemHeader()
{
    return QString::fromLatin1(LogFormat::SystemHeader);
}

char *appendMeasurementLine(char *out, const unsigned char *record, const Columns &columns,
                            bool badChecksum)
{
    out = appendLineStart(out, record);
    for (const LogFormat::Column &column : LogFormat::FixedColumns) {
        out = appendValue(out, record + column.offset, column.encoding);
        *out++ = ',';
    }

    int position = BlocksStart;
    if (columns.soil) {
        if (blockAt(record, position, SoilSize, SoilMarker)) {
            for (int i = 0; i < SoilValues; ++i) {
                out = appendValue(out, record + position + 4 + 2 * i,
                                  LogFormat::SoilColumns[size_t(i)].encoding);
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
            out = appendValue(out, record + position + 4, LogFormat::SolvaneColumns[0].encoding);
            *out++ = ',';
            out = appendValue(out, record + position + 6, LogFormat::SolvaneColumns[1].encoding);
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
            out = appendValue(out, record + position + 2, LogFormat::GlobeColumn.encoding);
            position += GlobeSize;
        }
        *out++ = ',';
    }
    if (badChecksum)
        out = appendLiteral(out, ChecksumErrorMark);
    return out;
}

namespace
{
double valueOf(const unsigned char *bytes, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Real:
        return double(floatAt(bytes));
    case Encoding::Int16:
        return int16At(bytes);
    case Encoding::Milli:
        return int16At(bytes) / 1000.0;
    case Encoding::Hundredths:
        return int16At(bytes) / 100.0;
    case Encoding::Tenths:
        return int16At(bytes) / 10.0;
    }
    return std::numeric_limits<double>::quiet_NaN();
}
} // namespace

int valueCount(const Columns &columns)
{
    return int(LogFormat::FixedColumns.size()) + (columns.soil ? SoilValues : 0) +
           (columns.solvane ? 2 : 0) + (columns.globeTemp1 ? 1 : 0) + (columns.globeTemp2 ? 1 : 0);
}

// Walks the blocks exactly as appendMeasurementLine does, so a value is
// there where the line prints one.
void measurementValues(const unsigned char *record, const Columns &columns, double *out)
{
    constexpr double None = std::numeric_limits<double>::quiet_NaN();
    for (const LogFormat::Column &column : LogFormat::FixedColumns)
        *out++ = valueOf(record + column.offset, column.encoding);
    int position = BlocksStart;
    if (columns.soil) {
        const bool found = blockAt(record, position, SoilSize, SoilMarker);
        for (int i = 0; i < SoilValues; ++i)
            *out++ = found ? valueOf(record + position + 4 + 2 * i,
                                     LogFormat::SoilColumns[size_t(i)].encoding)
                           : None;
        if (found)
            position += SoilSize;
    }
    if (columns.solvane) {
        const bool found = blockAt(record, position, SolvaneSize, SolvaneMarker);
        *out++ =
            found ? valueOf(record + position + 4, LogFormat::SolvaneColumns[0].encoding) : None;
        *out++ =
            found ? valueOf(record + position + 6, LogFormat::SolvaneColumns[1].encoding) : None;
        if (found)
            position += SolvaneSize;
    }
    for (const bool globe : {columns.globeTemp1, columns.globeTemp2}) {
        if (!globe)
            continue;
        if (blockAt(record, position, GlobeSize, GlobeMarker)) {
            *out++ = valueOf(record + position + 2, LogFormat::GlobeColumn.encoding);
            position += GlobeSize;
        } else {
            *out++ = None;
        }
    }
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
