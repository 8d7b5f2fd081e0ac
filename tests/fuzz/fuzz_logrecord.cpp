// Fuzz target: one log record to its lines in the two CSV files. Input: the
// 128 record bytes (zero padded), then a byte whose bits 0..3 switch the
// optional column groups on and bit 4 marks the checksum bad.
//
// Each line is written into a heap buffer of exactly the longest line the
// export allows for, so a longer line is caught where it overflows. A strict
// CSV reader then holds the lines to what the files promise: every line is
// one record, a measurement line has a field for every header column (plus
// the empty one its last comma opens, or the checksum mark), numbers are
// numbers, and a record's text reads back as the module stored it.

#include "fuzzcheck.h"

#include "log/logrecord.h"
#include "usb/wire.h"

#include <QDateTime>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace
{

using namespace LogRecord;

QByteArray lineOf(const char *begin, const char *end)
{
    FUZZ_CHECK(end >= begin && end - begin <= MaxLineLength);
    return QByteArray(begin, int(end - begin));
}

QByteArray expectedDate(const unsigned char *record)
{
    const QDateTime stamp = unpackLogDateTime(record + DateTimeOffset);
    return stamp.isValid() ? stamp.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toLatin1()
                           : QByteArray();
}

// The module's Latin-1 text up to its NUL or the end of the record's data.
QByteArray expectedText(const unsigned char *record)
{
    const unsigned char *text = record + TextOffset;
    const unsigned char *end = std::find(text, record + DataEnd, 0);
    return QString::fromLatin1(reinterpret_cast<const char *>(text), int(end - text)).toUtf8();
}

bool isNumber(const QByteArray &field)
{
    return !field.isEmpty() && std::all_of(field.begin(), field.end(), [](char c) {
        return std::strchr("0123456789.-+einaf", c) != nullptr;
    });
}

void checkLineStart(const QList<QByteArray> &fields, const unsigned char *record)
{
    FUZZ_CHECK(fields.size() >= 2);
    FUZZ_CHECK(fields[0] == QByteArray::number(getUInt32BE(record + IndexOffset)));
    FUZZ_CHECK(fields[1] == expectedDate(record));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::unique_ptr<unsigned char[]> record(new unsigned char[Size]());
    std::memcpy(record.get(), data, std::min<size_t>(size, Size));
    const uint8_t flags = size > size_t(Size) ? data[Size] : 0;
    Columns columns;
    columns.soil = flags & 1;
    columns.solvane = flags & 2;
    columns.globeTemp1 = flags & 4;
    columns.globeTemp2 = flags & 8;
    const bool bad = flags & 16;
    (void)checksumMatches(record.get());
    (void)isErased(record.get());

    std::unique_ptr<char[]> buffer(new char[MaxLineLength]);
    QList<QByteArray> header;
    FUZZ_CHECK(fuzzcheck::splitCsvRecord(measurementHeader(columns).toUtf8(), header));

    QByteArray line =
        lineOf(buffer.get(), appendMeasurementLine(buffer.get(), record.get(), columns, bad));
    QList<QByteArray> fields;
    FUZZ_CHECK(fuzzcheck::splitCsvRecord(line, fields));
    FUZZ_CHECK(fields.size() == header.size() + 1 + (bad ? 1 : 0));
    checkLineStart(fields, record.get());
    if (bad)
        FUZZ_CHECK(fields.takeLast() == "CHECKSUM ERROR");
    FUZZ_CHECK(fields.takeLast().isEmpty());
    for (int i = 2; i < fields.size(); ++i)
        FUZZ_CHECK(fields[i].isEmpty() || isNumber(fields[i]));

    line = lineOf(buffer.get(), appendSystemLine(buffer.get(), record.get(), bad));
    FUZZ_CHECK(fuzzcheck::splitCsvRecord(line, fields));
    checkLineStart(fields, record.get());
    if (bad)
        FUZZ_CHECK(fields.takeLast() == "CHECKSUM ERROR");
    const unsigned char kind = record[KindOffset];
    if (kind == Information && record[SubKindOffset] == Text) {
        FUZZ_CHECK(fields.size() == 4 && fields[2] == "Info");
        FUZZ_CHECK(fields[3] == expectedText(record.get()));
    } else if (kind == Error) {
        FUZZ_CHECK(fields.size() == 5 && fields[2] == "Error");
        FUZZ_CHECK(fields[3] == QByteArray::number(static_cast<signed char>(record[9])));
        FUZZ_CHECK(fields[4] == expectedText(record.get()));
    }
    return 0;
}
