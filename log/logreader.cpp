#include "log/logreader.h"

#include "log/logrecord.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

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

struct ColumnKind {
    const char *title;
    const char *group;
    Quantity quantity;
};

// Every column the export can write, with the group the viewer lists it in.
const ColumnKind ColumnKinds[] = {
    {"Wind", "Wind", Quantity::WindSpeed},
    {"Direction", "Wind", Quantity::Direction},
    {"Wind 2 min", "Wind", Quantity::WindSpeed},
    {"Direction 2 min", "Wind", Quantity::Direction},
    {"Wind 10 min", "Wind", Quantity::WindSpeed},
    {"Direction 10 min", "Wind", Quantity::Direction},
    {"Gust", "Wind", Quantity::WindSpeed},
    {"Gust Direction", "Wind", Quantity::Direction},
    {"WDS Status", "Battery and module", Quantity::Status},
    {"Temperature", "Temperature", Quantity::Temperature},
    {"Humidity", "Humidity", Quantity::Humidity},
    {"Pressure", "Pressure", Quantity::Pressure},
    {"Pressure Temperature", "Temperature", Quantity::Temperature},
    {"Trend", "Pressure", Quantity::Other},
    {"TPH Status", "Battery and module", Quantity::Status},
    {"Rain Inc", "Rain", Quantity::Rain},
    {"Rain Day", "Rain", Quantity::Rain},
    {"Rain Rate", "Rain", Quantity::Rain},
    {"Analog 1", "Analog channels", Quantity::Other},
    {"Analog 2", "Analog channels", Quantity::Other},
    {"Battery Voltage", "Battery and module", Quantity::BatteryVoltage},
    {"Input Voltage", "Battery and module", Quantity::InputVoltage},
    {"Charger Status", "Battery and module", Quantity::Status},
    {"CM Temperature", "Battery and module", Quantity::Other},
    {"Lightning Strikes", "Lightning", Quantity::Status},
    {"Lightning Distance", "Lightning", Quantity::Status},
    {"Lightning Noise", "Lightning", Quantity::Status},
    {"Lightning Disturber", "Lightning", Quantity::Status},
    {"Solvane Filtered", "Solar", Quantity::Other},
    {"Solvane Sensor", "Solar", Quantity::Other},
    {"WetBulb Globe Temperature", "Temperature", Quantity::Temperature},
};

const char ChecksumMark[] = "CHECKSUM ERROR";

Column describe(const QString &title)
{
    Column column;
    column.title = title;
    for (const ColumnKind &kind : ColumnKinds) {
        if (title == QLatin1String(kind.title)) {
            column.group = kind.group;
            column.quantity = kind.quantity;
            return column;
        }
    }
    // The soil columns, numbered 1..6.
    column.group = "Soil";
    return column;
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
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error =
            tr("%1 cannot be read: %2").arg(QDir::toNativeSeparators(fileName), file.errorString());
        return QByteArray();
    }
    return file.readAll();
}

int readMeasurements(const QByteArray &data, Log &log, QString &error)
{
    const char *p = data.constData();
    const char *const end = p + data.size();
    const QString &name = log.fileName;
    std::string_view line;
    if (!nextLine(p, end, line)) {
        error = tr("%1 is empty; it is not a log of Talvik.").arg(QDir::toNativeSeparators(name));
        return -1;
    }
    const QString header = QString::fromUtf8(line.data(), int(line.size()));
    bool known = false;
    for (int groups = 0; groups < 16 && !known; ++groups) {
        LogRecord::Columns columns;
        columns.soil = groups & 1;
        columns.solvane = groups & 2;
        columns.globeTemp1 = groups & 4;
        columns.globeTemp2 = groups & 8;
        known = header == LogRecord::measurementHeader(columns);
    }
    if (!known) {
        error = where(name, 1) + ' ' +
                (header == LogRecord::systemHeader()
                     ? tr("this is the system file of a log, not its measurement file.")
                     : tr("not the header of a Talvik log."));
        return -1;
    }
    const QStringList titles = header.split(',').mid(2);
    for (const QString &title : titles) {
        log.columns.push_back(describe(title));
        if (title.startsWith("WetBulb") && log.columns.size() > 1 &&
            log.columns[log.columns.size() - 2].title == title)
            log.columns.back().title += " 2";
    }

    // About 150 bytes a line without column groups, more with them.
    const size_t expected = size_t(data.size() / (100 + 4 * titles.size())) + 16;
    for (Column &column : log.columns)
        column.values.reserve(expected);
    log.time.reserve(expected);
    log.index.reserve(expected);
    log.checksumError.reserve(expected);

    const size_t headerFields = size_t(titles.size()) + 2;
    std::vector<std::string_view> fields;
    fields.reserve(headerFields + 4);
    int lineNumber = 1;
    while (nextLine(p, end, line)) {
        ++lineNumber;
        if (line.empty() && p >= end)
            break;
        fields.clear();
        size_t start = 0;
        for (size_t comma; (comma = line.find(',', start)) != std::string_view::npos;
             start = comma + 1)
            fields.push_back(line.substr(start, comma - start));
        fields.push_back(line.substr(start));

        const bool marked = fields.back() == ChecksumMark;
        if (marked)
            fields.pop_back();
        // Every value ends with its comma, so the last field is empty; a
        // line written before the impossible-date mend lacks the date's.
        const bool ended = fields.size() > 1 && fields.back().empty();
        if (ended)
            fields.pop_back();
        const bool withDate = fields.size() == headerFields;
        if (!ended || (!withDate && fields.size() + 1 != headerFields)) {
            error = where(name, lineNumber) + ' ' +
                    tr("%1 fields where a line of this log has %2.")
                        .arg(fields.size() + (ended ? 1 : 0) + (marked ? 1 : 0))
                        .arg(headerFields + 1);
            return -1;
        }
        quint32 index = 0;
        qint64 time = NoTime;
        if (!parseIndex(fields[0], index) || (withDate && !parseTime(fields[1], time))) {
            error = where(name, lineNumber) + ' ' +
                    tr("'%1' is not a record number and date.")
                        .arg(QString::fromUtf8(line.data(), int(qMin<size_t>(line.size(), 40))));
            return -1;
        }
        const size_t first = withDate ? 2 : 1;
        for (size_t i = 0; i < log.columns.size(); ++i) {
            double value;
            if (!parseReal(fields[first + i], value)) {
                error = where(name, lineNumber) + ' ' +
                        tr("'%1' in the column %2 is not a number.")
                            .arg(QString::fromUtf8(fields[first + i].data(),
                                                   int(qMin<size_t>(fields[first + i].size(), 40))),
                                 log.columns[i].title);
                return -1;
            }
            log.columns[i].values.push_back(value);
        }
        log.index.push_back(index);
        log.time.push_back(time);
        log.checksumError.push_back(marked);
    }
    return 0;
}

// One line of the system file, from its fields.
bool parseEvent(QStringList fields, Event &event)
{
    QByteArray storage;
    if (fields.size() < 2 || !parseIndex(view(fields[0], storage), event.index))
        return false;
    // Lines written before the impossible-date mend go on with the kind
    // where the date would be.
    int rest = 1;
    if (parseTime(view(fields[1], storage), event.time))
        rest = 2;
    fields = fields.mid(rest);
    if (fields.isEmpty())
        return false;
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
        return false;
    }
    if (fields.size() > fixedFields && fields.last() == ChecksumMark) {
        event.checksumError = true;
        fields.removeLast();
    }
    if (fields.size() < fixedFields)
        return false;
    if (event.kind == Event::Info && fields.last() == "Clock Update" && fields.size() >= 2) {
        event.clockUpdate = true;
        if (fields.size() == 3 && !parseTime(view(fields[0], storage), event.clockSetTo))
            return false;
    }
    event.text = (QStringList(kind) + fields).join(", ");
    return true;
}

int readEvents(const QByteArray &data, Log &log, QString &error)
{
    const char *p = data.constData();
    const char *const end = p + data.size();
    const QString &name = log.systemFileName;
    int line = 1;
    QStringList fields;
    nextRecord(p, end, line, fields);
    if (fields.join(',') != LogRecord::systemHeader()) {
        error = where(name, 1) + ' ' + tr("not the header of a Talvik system file.");
        return -1;
    }
    while (p < end) {
        const int first = ++line;
        if (!nextRecord(p, end, line, fields)) {
            error = where(name, first) + ' ' + tr("a quoted text does not end.");
            return -1;
        }
        if (log.retries >= 0) {
            if (fields.size() == 1 && fields[0].isEmpty() && p >= end)
                break;
            error = where(name, first) + ' ' + tr("a line after the \"Retries\" line.");
            return -1;
        }
        if (fields.size() == 1 && fields[0].startsWith("Retries ")) {
            bool number = false;
            log.retries = fields[0].mid(8).toLongLong(&number);
            if (number && log.retries >= 0)
                continue;
            log.retries = -1;
        }
        Event event;
        event.line = first;
        if (!parseEvent(fields, event)) {
            error =
                where(name, first) + ' ' +
                tr("'%1' is not a line of a Talvik system file.").arg(fields.join(',').left(60));
            return -1;
        }
        log.events.push_back(event);
    }
    if (log.retries < 0) {
        error = where(name, line) + ' ' + tr("the \"Retries\" line that ends the file is missing.");
        return -1;
    }
    return 0;
}

} // namespace

int readLog(const QString &fileName, Log &log, QString &error)
{
    log = Log();
    error.clear();
    log.fileName = fileName;
    // Given the companion, the measurement file it belongs to.
    const QString base = fileName.left(qMax(0, fileName.size() - 4));
    if (base.endsWith("-system") &&
        QFileInfo::exists(base.left(base.size() - 7) + fileName.right(4)))
        log.fileName = base.left(base.size() - 7) + fileName.right(4);

    const QByteArray measurements = readAll(log.fileName, error);
    if (!error.isEmpty() || readMeasurements(measurements, log, error) != 0)
        return -1;

    const QString systemName = LogRecord::systemFileName(log.fileName);
    if (QFileInfo::exists(systemName)) {
        log.systemFileName = systemName;
        const QByteArray system = readAll(systemName, error);
        if (!error.isEmpty() || readEvents(system, log, error) != 0)
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
