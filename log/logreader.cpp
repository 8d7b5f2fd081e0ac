#include "log/logreader.h"

#include "core/regularfile.h"
#include "log/logrecord.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace LogReader
{

namespace
{

QString tr(const char *text)
{
    return QCoreApplication::translate("LogReader", text);
}

// A log is at most a full store: about 10 MB with every column group. A
// file many times that is no log of ours, and is not read into memory.
constexpr qint64 MaxFileSize = 512 * 1024 * 1024;

const char ChecksumMark[] = "CHECKSUM ERROR";

// Longest piece of a line quoted back in a message.
constexpr int Quoted = 40;

Column describe(const QString &title)
{
    Column column;
    column.title = title;
    // The header was matched against the format, so every title is there.
    if (const LogFormat::Column *format = LogFormat::columnTitled(title)) {
        column.group = QString::fromLatin1(format->group);
        column.quantity = format->quantity;
        column.unit = QString::fromUtf8(format->unit);
        column.decimals = LogFormat::decimalsOf(format->encoding);
    }
    return column;
}

QString quoted(std::string_view text)
{
    return QString::fromUtf8(text.data(), int(qMin<size_t>(text.size(), Quoted)));
}

QString where(const QString &fileName, int line)
{
    return tr("%1, line %2:").arg(QDir::toNativeSeparators(fileName)).arg(line);
}

int daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool digits(const char *p, int count, int &value)
{
    value = 0;
    for (int i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return false;
        value = value * 10 + (p[i] - '0');
    }
    return true;
}

// "yyyy-MM-dd hh:mm:ss" with a possible date and time; an empty field is
// NoTime. False for anything else.
bool parseTime(std::string_view text, qint64 &time)
{
    time = NoTime;
    if (text.empty())
        return true;
    const char *p = text.data();
    int y, mo, d, h, mi, s;
    if (text.size() != 19 || p[4] != '-' || p[7] != '-' || p[10] != ' ' || p[13] != ':' ||
        p[16] != ':' || !digits(p, 4, y) || !digits(p + 5, 2, mo) || !digits(p + 8, 2, d) ||
        !digits(p + 11, 2, h) || !digits(p + 14, 2, mi) || !digits(p + 17, 2, s))
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > QDate(y, mo, 1).daysInMonth() || h > 23 || mi > 59 ||
        s > 59)
        return false;
    time = qint64(daysFromCivil(y, mo, d)) * 86400 + h * 3600 + mi * 60 + s;
    return true;
}

bool parseReal(std::string_view text, double &value)
{
    if (text.empty()) {
        value = std::nan("");
        return true;
    }
    const char *end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

bool parseIndex(std::string_view text, quint32 &value)
{
    const char *end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

std::string_view view(const QString &text, QByteArray &storage)
{
    storage = text.toUtf8();
    return std::string_view(storage.constData(), size_t(storage.size()));
}

// The next line of data, without its line end; false at the end.
bool nextLine(const char *&p, const char *end, std::string_view &line)
{
    if (p >= end)
        return false;
    const char *eol = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
    const char *stop = eol != nullptr ? eol : end;
    const char *next = eol != nullptr ? eol + 1 : end;
    if (stop > p && stop[-1] == '\r')
        --stop;
    line = std::string_view(p, size_t(stop - p));
    p = next;
    return true;
}

// The fields of one record of the system file: a quoted field may hold
// commas, doubled quotes and line ends. False for an open quote.
bool nextRecord(const char *&p, const char *end, int &line, QStringList &fields)
{
    fields.clear();
    QByteArray field;
    bool quoted = false;
    bool wasQuoted = false;
    for (; p < end; ++p) {
        const char c = *p;
        if (quoted) {
            if (c == '"') {
                if (p + 1 < end && p[1] == '"') {
                    field += '"';
                    ++p;
                } else {
                    quoted = false;
                }
            } else {
                if (c == '\n')
                    ++line;
                field += c;
            }
        } else if (c == '"' && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == ',') {
            fields << QString::fromUtf8(field);
            field.clear();
            wasQuoted = false;
        } else if (c == '\n' || c == '\r') {
            p += c == '\r' && p + 1 < end && p[1] == '\n' ? 2 : 1;
            break;
        } else {
            field += c;
        }
    }
    fields << QString::fromUtf8(field);
    return !quoted;
}

QByteArray readAll(const QString &fileName, QString &error)
{
    QByteArray bytes;
    const RegularFile::Read read = RegularFile::readWhole(fileName, MaxFileSize, bytes);
    const QString name = QDir::toNativeSeparators(fileName);
    switch (read.problem) {
    case RegularFile::Problem::None:
        break;
    case RegularFile::Problem::NotARegularFile:
        error = tr("%1 is %2, not a log file; nothing was read.")
                    .arg(name, RegularFile::kindOf(read.mode));
        break;
    case RegularFile::Problem::TooLarge:
        error = tr("%1 is larger than %2 MB, far more than a log of Talvik; nothing was read.")
                    .arg(name)
                    .arg(MaxFileSize / (1024 * 1024));
        break;
    case RegularFile::Problem::CannotRead:
        error = tr("%1 cannot be read: %2").arg(name, qt_error_string(read.systemError));
        break;
    }
    return bytes;
}

bool endsWithLineEnd(const QByteArray &data)
{
    return data.endsWith('\n') || data.endsWith('\r');
}

// The headers the export writes, one for each choice of column groups.
const std::vector<QString> &knownHeaders()
{
    static const std::vector<QString> headers = [] {
        std::vector<QString> all;
        for (int groups = 0; groups < 16; ++groups)
            all.push_back(
                LogFormat::measurementHeader(groups & 1, groups & 2, groups & 4, groups & 8));
        return all;
    }();
    return headers;
}

// The columns the header names; false with the error when it is not the
// header of a measurement file.
bool readHeader(std::string_view line, Log &log, QString &error)
{
    const QString header = QString::fromUtf8(line.data(), int(line.size()));
    const std::vector<QString> &headers = knownHeaders();
    if (std::find(headers.begin(), headers.end(), header) == headers.end()) {
        error = where(log.fileName, 1) + ' ' +
                (header == QLatin1String(LogFormat::SystemHeader)
                     ? tr("this is the system file of a log, not its measurement file.")
                     : tr("not the header of a Talvik log."));
        return false;
    }
    const QStringList titles = header.split(',').mid(2);
    for (const QString &title : titles) {
        log.columns.push_back(describe(title));
        if (title == QLatin1String(LogFormat::GlobeColumn.title) && log.columns.size() > 1 &&
            log.columns[log.columns.size() - 2].title == title)
            log.columns.back().title += " 2";
    }
    return true;
}

// What one line needs while it is read, kept from line to line.
struct Scratch {
    std::vector<std::string_view> fields;
    std::vector<double> values;
};

// One measurement line into the log; an empty text when it is one, else what
// is wrong with it.
QString readMeasurementLine(std::string_view line, Scratch &scratch, Log &log)
{
    if (line.empty())
        return tr("the line is empty.");
    std::vector<std::string_view> &fields = scratch.fields;
    std::vector<double> &values = scratch.values;
    const size_t headerFields = log.columns.size() + 2;
    fields.clear();
    size_t start = 0;
    for (size_t comma; (comma = line.find(',', start)) != std::string_view::npos; start = comma + 1)
        fields.push_back(line.substr(start, comma - start));
    fields.push_back(line.substr(start));

    const bool marked = fields.back() == ChecksumMark;
    if (marked)
        fields.pop_back();
    // Every value ends with its comma, so the last field is empty; a line
    // written before the impossible-date mend lacks the date's.
    const bool ended = fields.size() > 1 && fields.back().empty();
    if (ended)
        fields.pop_back();
    // A line one field short whose second field is a date lacks a value, not
    // the date's comma.
    qint64 time = NoTime;
    const bool withDate = fields.size() == headerFields;
    const bool shortOfValue =
        !withDate && fields.size() > 1 && !fields[1].empty() && parseTime(fields[1], time);
    if (!ended || shortOfValue || (!withDate && fields.size() + 1 != headerFields))
        return tr("the line has %1 fields; this log's lines have %2.")
            .arg(fields.size() + (ended ? 1 : 0) + (marked ? 1 : 0))
            .arg(headerFields + 1);
    quint32 index = 0;
    if (!parseIndex(fields[0], index))
        return tr("'%1' is not a record number.").arg(quoted(fields[0]));
    if (withDate && !parseTime(fields[1], time))
        return tr("'%1' is not a date and time such as 2024-03-01 10:00:00.")
            .arg(quoted(fields[1]));
    const size_t first = withDate ? 2 : 1;
    // The whole line is checked before any of it is kept.
    values.resize(log.columns.size());
    for (size_t i = 0; i < log.columns.size(); ++i)
        if (!parseReal(fields[first + i], values[i]))
            return tr("'%1' in the column %2 is not a number.")
                .arg(quoted(fields[first + i]), log.columns[i].title);
    for (size_t i = 0; i < log.columns.size(); ++i)
        log.columns[i].values.push_back(values[i]);
    log.index.push_back(index);
    log.time.push_back(time);
    log.checksumError.push_back(marked);
    return QString();
}

int readMeasurements(const QByteArray &data, Log &log, QString &error)
{
    const char *p = data.constData();
    const char *const end = p + data.size();
    std::string_view line;
    if (!nextLine(p, end, line)) {
        error = tr("%1 is empty; it is not a log of Talvik.")
                    .arg(QDir::toNativeSeparators(log.fileName));
        return -1;
    }
    if (!readHeader(line, log, error))
        return -1;

    // About 150 bytes a line without column groups, more with them.
    const size_t expected = size_t(data.size() / (100 + 4 * log.columns.size())) + 16;
    for (Column &column : log.columns)
        column.values.reserve(expected);
    log.time.reserve(expected);
    log.index.reserve(expected);
    log.checksumError.reserve(expected);

    Scratch scratch;
    scratch.fields.reserve(log.columns.size() + 6);
    int lineNumber = 1;
    while (nextLine(p, end, line)) {
        ++lineNumber;
        if (line.empty() && p >= end)
            break;
        const QString wrong = readMeasurementLine(line, scratch, log);
        if (wrong.isEmpty())
            continue;
        if (p >= end && !endsWithLineEnd(data)) {
            log.cutLines.push_back({log.fileName, lineNumber, quoted(line)});
            break;
        }
        error = where(log.fileName, lineNumber) + ' ' + wrong;
        return -1;
    }
    return 0;
}

// One line of the system file, from its fields: an empty text when it is
// one, else what is wrong with it.
QString parseEvent(QStringList fields, Event &event)
{
    QByteArray storage;
    if (fields.size() == 1 && fields[0].isEmpty())
        return tr("the line is empty.");
    if (!parseIndex(view(fields[0], storage), event.index))
        return tr("'%1' is not a record number.").arg(fields[0].left(Quoted));
    // Lines written before the impossible-date mend go on with the kind
    // where the date would be.
    int rest = 1;
    if (fields.size() > 1 && parseTime(view(fields[1], storage), event.time))
        rest = 2;
    fields = fields.mid(rest);
    if (fields.isEmpty())
        return tr("the line ends before the kind of record (Info, Error or Unknown Record).");
    const QString kind = fields.takeFirst();
    int fixedFields;
    if (kind == "Info") {
        event.kind = Event::Info;
        fixedFields = 1;
    } else if (kind == "Error") {
        event.kind = Event::Error;
        fixedFields = 2;
    } else if (kind == "Unknown Record") {
        event.kind = Event::Unknown;
        fixedFields = 0;
    } else {
        return tr("'%1' is neither a date nor a kind of record (Info, Error or Unknown Record).")
            .arg(kind.left(Quoted));
    }
    if (fields.size() > fixedFields && fields.last() == ChecksumMark) {
        event.checksumError = true;
        fields.removeLast();
    }
    if (fields.size() < fixedFields)
        return tr("an %1 line has %2 fields after its kind; this one has %3.")
            .arg(kind)
            .arg(fixedFields)
            .arg(fields.size());
    if (event.kind == Event::Info && fields.last() == "Clock Update" && fields.size() >= 2) {
        event.clockUpdate = true;
        if (fields.size() == 3 && !parseTime(view(fields[0], storage), event.clockSetTo))
            return tr("'%1' is not the date and time the clock was set to.")
                .arg(fields[0].left(Quoted));
    }
    event.erased = event.kind == Event::Unknown && event.time == NoTime &&
                   event.index == std::numeric_limits<quint32>::max();
    event.text = (QStringList(kind) + fields).join(", ");
    return QString();
}

int readEvents(const QByteArray &data, Log &log, QString &error)
{
    const char *p = data.constData();
    const char *const end = p + data.size();
    const QString &name = log.systemFileName;
    int line = 1;
    QStringList fields;
    nextRecord(p, end, line, fields);
    if (fields.join(',') != QLatin1String(LogFormat::SystemHeader)) {
        error = where(name, 1) + ' ' + tr("not the header of a Talvik system file.");
        return -1;
    }
    bool cut = false;
    while (p < end && !cut) {
        const int first = ++line;
        const bool closed = nextRecord(p, end, line, fields);
        // The last line, without its line end: the file was cut short, and
        // the "Retries" line that ends it is lost.
        cut = p >= end && !endsWithLineEnd(data);
        if (log.retries >= 0) {
            if (fields.size() == 1 && fields[0].isEmpty() && p >= end)
                break;
            error = where(name, first) + ' ' + tr("a line after the \"Retries\" line.");
            return -1;
        }
        QString wrong = closed ? QString() : tr("a quoted text does not end.");
        if (closed && fields.size() == 1 && fields[0].startsWith("Retries ")) {
            bool number = false;
            log.retries = fields[0].mid(8).toLongLong(&number);
            if (number && log.retries >= 0)
                continue;
            log.retries = -1;
        }
        Event event;
        event.line = first;
        if (wrong.isEmpty())
            wrong = parseEvent(fields, event);
        if (cut) {
            log.cutLines.push_back({name, first, fields.join(',').left(Quoted)});
        } else if (!wrong.isEmpty()) {
            error = where(name, first) + ' ' + wrong;
            return -1;
        } else {
            log.events.push_back(event);
        }
    }
    if (log.retries < 0 && !cut) {
        error = where(name, line) + ' ' + tr("the \"Retries\" line that ends the file is missing.");
        return -1;
    }
    return 0;
}

} // namespace

int parseLog(const QString &fileName, const QByteArray &measurements, const QString &systemFileName,
             const QByteArray &system, Log &log, QString &error)
{
    log = Log();
    error.clear();
    log.fileName = fileName;
    log.systemFileName = systemFileName;
    if (readMeasurements(measurements, log, error) != 0 ||
        (!systemFileName.isEmpty() && readEvents(system, log, error) != 0)) {
        log = Log();
        return -1;
    }
    return 0;
}

int readLog(const QString &fileName, Log &log, QString &error)
{
    log = Log();
    error.clear();
    QString name = fileName;
    // Given the companion, the measurement file it belongs to.
    const QString base = fileName.left(qMax(0, fileName.size() - 4));
    if (base.endsWith("-system") &&
        QFileInfo::exists(base.left(base.size() - 7) + fileName.right(4)))
        name = base.left(base.size() - 7) + fileName.right(4);

    const QByteArray measurements = readAll(name, error);
    if (!error.isEmpty())
        return -1;
    QString systemName = LogRecord::systemFileName(name);
    QByteArray system;
    QString systemError;
    if (QFileInfo::exists(systemName))
        system = readAll(systemName, systemError);
    else
        systemName.clear();
    // What is wrong with the measurement file is told first.
    if (parseLog(name, measurements, systemError.isEmpty() ? systemName : QString(), system, log,
                 error) != 0)
        return -1;
    if (!systemError.isEmpty()) {
        log = Log();
        error = systemError;
        return -1;
    }
    return 0;
}

QString timeText(qint64 time)
{
    if (time == NoTime)
        return tr("no date");
    return QDateTime::fromSecsSinceEpoch(time, Qt::UTC).toString("yyyy-MM-dd hh:mm:ss");
}

} // namespace LogReader
