#ifndef LOGRECORD_H
#define LOGRECORD_H

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// The module's log record: 128 bytes, multi-byte fields big-endian. Nothing
// here touches a widget or the port; the download and the CSV export use it.
namespace LogRecord
{

constexpr int Size = 128;
constexpr int IndexOffset = 0;
constexpr int DateTimeOffset = 4;
constexpr int KindOffset = 8;
constexpr int SubKindOffset = 9;
constexpr int ErrorCodeOffset = 9;
constexpr int TextOffset = 10;
// Bytes 126..127 hold the checksum; everything a record says lies before.
constexpr int DataEnd = 126;
constexpr int ChecksumOffset = 126;

// The store the download fills: the most records one download can take.
constexpr int StoreCapacity = 49152;
constexpr int MaxBatch = 128;

enum Kind { Information = 0, Error = 1, Measurement = 2 };
enum InformationKind { SystemBooted = 0, ClockUpdate = 1, Text = 2 };

// An erased record reads 0xFF where the date begins and carries no checksum.
constexpr int ErasedMarkOffset = 4;

// Which optional column groups the measurement file carries.
struct Columns {
    bool soil = false;
    bool solvane = false;
    bool globeTemp1 = false;
    bool globeTemp2 = false;
};

// Sum of bytes 0..125, each taken as a signed byte, modulo 65,536.
quint16 checksum(const unsigned char *record);
bool checksumMatches(const unsigned char *record);
bool isErased(const unsigned char *record);

// The packed date and time as stored, without any time-zone conversion. An
// impossible date gives an invalid value; a possible date with an
// impossible time gives that date at 00:00:00.
QDateTime unpackLogDateTime(const unsigned char *bytes);
// "yyyy-MM-dd hh:mm:ss," or, for an impossible date, the comma alone.
QString dateTimeText(const unsigned char *bytes);

// Six significant digits, ties away from zero, -0 as 0, nan, inf, -inf.
QString realText(double value);

QString measurementHeader(const Columns &columns);
QString systemHeader();
QString measurementLine(const unsigned char *record, const Columns &columns, bool badChecksum);
QString systemLine(const unsigned char *record, bool badChecksum);

// The same texts as the files hold them: UTF-8, a record's Latin-1 text
// converted and quoted only when it would split the field or the line.
// Each writes at out, without a line end, and returns the position just
// past what it wrote. A line stays well below MaxLineLength: at most 475
// bytes for a measurement with every column group and the longest numbers,
// 291 for a system line whose text is all quotes or accented letters.
constexpr int MaxLineLength = 1024;
char *appendDateTime(char *out, const unsigned char *bytes);
char *appendMeasurementLine(char *out, const unsigned char *record, const Columns &columns,
                            bool badChecksum);
char *appendSystemLine(char *out, const unsigned char *record, bool badChecksum);

// The values of a measurement record in the measurement file's column
// order (the 28 fixed columns, then the groups columns switches on), as
// the file's numbers mean them; NaN where a block is absent. out takes
// valueCount(columns) numbers.
int valueCount(const Columns &columns);
void measurementValues(const unsigned char *record, const Columns &columns, double *out);

// The companion file: "-system" before the last four characters of the name.
QString systemFileName(const QString &fileName);

} // namespace LogRecord

#endif
