#include "archive/stationhistory.h"

#include "archive/archivedatabase.h"
#include "archive/history.h"
#include "archive/importedlines.h"
#include "log/logrecord.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>
#ifdef __linux__
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace archive
{

namespace
{

// An imported line as its file had it, waiting to be read with the header
// of its own column groups.
struct PendingLine {
    size_t row;
    QByteArray line;
};

// Room for n values, in place. A million rows of thirty columns is a
// quarter of a gigabyte, and taking it a small page at a time costs more
// than reading the archive: the pages are asked for in large ones.
void layOut(std::vector<double> &column, size_t n)
{
    column.reserve(n);
#ifdef __linux__
    constexpr quintptr Page = 4096;
    const auto begin = reinterpret_cast<quintptr>(column.data());
    const quintptr first = (begin + Page - 1) & ~(Page - 1);
    const quintptr end = (begin + n * sizeof(double)) & ~(Page - 1);
    if (end > first)
        madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
#endif
    column.resize(n);
}

// One row of the records table as the read hands it on.
struct Row {
    qint64 time = 0;
    qint64 index = 0;
    int kind = 0;
    bool bad = false;
    const char *bytes = nullptr; // the record's 128 bytes, or null for an imported line
    int size = 0;
    QByteArray line;
    int lineColumns = 0;
};

// Imported lines of one set of column groups, read as the file they came
// from and put in their rows by column title.
bool readImportedLines(int bits, const std::vector<PendingLine> &lines, LogReader::Log &log,
                       QString &error)
{
    QByteArray text = LogRecord::measurementHeader(columnsOf(bits)).toUtf8() + "\r\n";
    for (const PendingLine &pending : lines)
        text += pending.line + "\r\n";
    LogReader::Log read;
    if (LogReader::parseLog(log.fileName, text, QString(), QByteArray(), read, error) != 0)
        return false;
    // A line the reader left out has no row to go to; the rows stay in step.
    if (read.measurementCount() != int(lines.size())) {
        error = QStringLiteral("an imported line does not read back");
        return false;
    }
    for (const LogReader::Column &from : read.columns) {
        auto to = std::find_if(log.columns.begin(), log.columns.end(),
                               [&](const LogReader::Column &c) { return c.title == from.title; });
        if (to == log.columns.end())
            continue;
        for (size_t i = 0; i < lines.size(); ++i)
            to->values[lines[i].row] = from.values[i];
    }
    for (size_t i = 0; i < lines.size(); ++i)
        log.checksumError[lines[i].row] = read.checksumError[i];
    return true;
}

} // namespace

qint64 spanStart(Span span, qint64 newest)
{
    const QDateTime end = QDateTime::fromSecsSinceEpoch(newest, Qt::UTC);
    switch (span) {
    case Span::Day:
        return newest - 86400;
    case Span::Week:
        return newest - 7 * 86400;
    case Span::Month:
        return end.addMonths(-1).toSecsSinceEpoch();
    case Span::Year:
        return end.addYears(-1).toSecsSinceEpoch();
    case Span::All:
        break;
    }
    return NoLimit;
}

OperationResult readHistory(Database &database, quint32 serial, qint64 from, qint64 to,
                            LogReader::Log &log)
{
    QSqlDatabase &db = database.connection();
    const auto failed = [&](const QSqlQuery &query) {
        return databaseFailure(database.location(), query.lastError().text());
    };
    // The same column groups as the export of this range writes.
    LogRecord::Columns columns;
    const OperationResult grouped = rangeColumns(database, serial, from, to, columns);
    if (grouped.failed())
        return grouped;

    // A long history is read page after page: mapping the file spares a
    // system call for each (SQLite falls back to reads where it cannot).
    if (db.driverName() == QLatin1String("QSQLITE"))
        QSqlQuery(db).exec("PRAGMA mmap_size = 1073741824");
    const char *const select =
        "SELECT record_time, record_index, kind, bad_checksum, bytes, line,"
        " line_columns FROM records WHERE serial = ? AND in_history = 1"
        " AND record_time BETWEEN ? AND ? ORDER BY record_time, record_index";

    const int valueCount = LogRecord::valueCount(columns);
    std::vector<quint32> index;
    std::vector<qint64> time;
    std::vector<char> marks;
    // Each column's values, filled as the rows come; counted first (from the
    // history's index alone) so that a long history is laid out once.
    std::vector<std::vector<double>> values(static_cast<size_t>(valueCount));
    QSqlQuery counted(db);
    counted.prepare("SELECT COUNT(*) FROM records WHERE serial = ? AND in_history = 1"
                    " AND record_time BETWEEN ? AND ?");
    counted.addBindValue(qint64(serial));
    counted.addBindValue(lowerBound(from));
    counted.addBindValue(upperBound(to));
    if (!counted.exec() || !counted.next())
        return failed(counted);
    const size_t expected = size_t(counted.value(0).toLongLong());
    counted.finish();
    for (std::vector<double> &column : values)
        layOut(column, expected);
    time.reserve(expected);
    index.reserve(expected);
    marks.reserve(expected);
    double row[64];
    QByteArray system = LogRecord::systemHeader().toUtf8() + "\r\n";
    std::map<int, std::vector<PendingLine>> imported;
    char line[LogRecord::MaxLineLength];
    const auto take = [&](const Row &r) {
        const auto *record = reinterpret_cast<const unsigned char *>(r.bytes);
        const bool whole = r.size == LogRecord::Size;
        if (r.kind != LogRecord::Measurement) {
            if (whole)
                system.append(line, int(LogRecord::appendSystemLine(line, record, r.bad) - line));
            else
                system.append(r.line);
            system.append("\r\n");
            return;
        }
        const size_t at = time.size();
        time.push_back(r.time);
        index.push_back(quint32(r.index));
        marks.push_back(r.bad ? 1 : 0);
        if (whole)
            LogRecord::measurementValues(record, columns, row);
        else
            std::fill(row, row + valueCount, std::nan(""));
        // The count saw every record of the range; more rows than that
        // (a download archived meanwhile) grow the columns.
        if (at >= values[0].size())
            for (std::vector<double> &column : values)
                column.resize(at + 1);
        for (int c = 0; c < valueCount; ++c)
            values[size_t(c)][at] = row[c];
        if (!whole)
            imported[r.lineColumns].push_back({at, r.line});
    };

    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0 &&
        *static_cast<sqlite3 *const *>(handle.constData()) != nullptr) {
        // A million rows through QVariant cost seconds; the file's own
        // library hands out each blob where it lies.
        sqlite3 *raw = *static_cast<sqlite3 *const *>(handle.constData());
        sqlite3_stmt *statement = nullptr;
        int status = sqlite3_prepare_v2(raw, select, -1, &statement, nullptr);
        if (status == SQLITE_OK) {
            sqlite3_bind_int64(statement, 1, qint64(serial));
            sqlite3_bind_int64(statement, 2, lowerBound(from));
            sqlite3_bind_int64(statement, 3, upperBound(to));
            while ((status = sqlite3_step(statement)) == SQLITE_ROW) {
                Row r;
                r.time = sqlite3_column_int64(statement, 0);
                r.index = sqlite3_column_int64(statement, 1);
                r.kind = sqlite3_column_int(statement, 2);
                r.bad = sqlite3_column_int(statement, 3) != 0;
                r.bytes = static_cast<const char *>(sqlite3_column_blob(statement, 4));
                r.size = sqlite3_column_bytes(statement, 4);
                if (r.bytes == nullptr) {
                    r.line = QByteArray(
                        reinterpret_cast<const char *>(sqlite3_column_text(statement, 5)),
                        sqlite3_column_bytes(statement, 5));
                    r.lineColumns = sqlite3_column_int(statement, 6);
                }
                take(r);
            }
        }
        const QString error = QString::fromUtf8(sqlite3_errmsg(raw));
        sqlite3_finalize(statement);
        if (status != SQLITE_DONE)
            return databaseFailure(database.location(), error);
    } else {
        QSqlQuery records(db);
        records.setForwardOnly(true);
        records.prepare(QString::fromLatin1(select));
        records.addBindValue(qint64(serial));
        records.addBindValue(lowerBound(from));
        records.addBindValue(upperBound(to));
        if (!records.exec())
            return failed(records);
        while (records.next()) {
            const QByteArray bytes = records.value(4).toByteArray();
            Row r;
            r.time = records.value(0).toLongLong();
            r.index = records.value(1).toLongLong();
            r.kind = records.value(2).toInt();
            r.bad = records.value(3).toInt() != 0;
            r.bytes = bytes.isNull() ? nullptr : bytes.constData();
            r.size = bytes.size();
            r.line = records.value(5).toString().toUtf8();
            r.lineColumns = records.value(6).toInt();
            take(r);
        }
        if (records.lastError().isValid())
            return failed(records);
    }
    system.append("Retries 0\r\n");

    // The columns and events as the reader makes them of a pair of files.
    LogReader::Log read;
    QString error;
    const QString name = QStringLiteral("station %1").arg(serial);
    if (LogReader::parseLog(name, LogRecord::measurementHeader(columns).toUtf8() + "\r\n",
                            name + " (system)", system, read, error) != 0)
        return databaseFailure(database.location(), error);
    read.index = std::move(index);
    read.time = std::move(time);
    read.checksumError = std::move(marks);
    for (size_t c = 0; c < read.columns.size(); ++c) {
        // The count took in the events too.
        values[c].resize(read.time.size());
        read.columns[c].values.swap(values[c]);
    }
    for (const auto &group : imported)
        if (!readImportedLines(group.first, group.second, read, error))
            return databaseFailure(database.location(), error);
    log = std::move(read);
    return OperationResult::success();
}

OperationResult configurationHistory(Database &database, quint32 serial,
                                     std::vector<ConfigurationAt> &configurations)
{
    QSqlQuery query(database.connection());
    query.setForwardOnly(true);
    query.prepare("SELECT recorded_at, settings FROM configurations WHERE serial = ? "
                  "ORDER BY recorded_at, id");
    query.addBindValue(qint64(serial));
    if (!query.exec())
        return databaseFailure(database.location(), query.lastError().text());
    std::vector<ConfigurationAt> found;
    while (query.next()) {
        ConfigurationAt configuration;
        configuration.at = query.value(0).toLongLong() / 1000;
        const QJsonObject object =
            QJsonDocument::fromJson(query.value(1).toString().toUtf8()).object();
        for (auto item = object.begin(); item != object.end(); ++item)
            configuration.settings.insert(item.key(), item.value().toString());
        found.push_back(configuration);
    }
    configurations.swap(found);
    return OperationResult::success();
}

const QMap<QString, QString> &settingsAt(const std::vector<ConfigurationAt> &configurations,
                                         qint64 time)
{
    static const QMap<QString, QString> none;
    auto after = std::upper_bound(
        configurations.begin(), configurations.end(), time,
        [](qint64 t, const ConfigurationAt &configuration) { return t < configuration.at; });
    return after == configurations.begin() ? none : std::prev(after)->settings;
}

OperationResult stationSpan(Database &database, quint32 serial, StationSpan &span)
{
    QSqlQuery query(database.connection());
    // Two look-ups in the history's index instead of a count of every record.
    query.prepare("SELECT (SELECT COUNT(*) FROM stations WHERE serial = ?),"
                  " (SELECT MIN(record_time) FROM records WHERE serial = ? AND in_history = 1),"
                  " (SELECT MAX(record_time) FROM records WHERE serial = ? AND in_history = 1)");
    for (int i = 0; i < 3; ++i)
        query.addBindValue(qint64(serial));
    if (!query.exec() || !query.next())
        return databaseFailure(database.location(), query.lastError().text());
    StationSpan found;
    found.known = query.value(0).toInt() > 0;
    found.first = query.value(1).isNull() ? NoLimit : query.value(1).toLongLong();
    found.last = query.value(2).isNull() ? NoLimit : query.value(2).toLongLong();
    QSqlQuery names(database.connection());
    names.prepare("SELECT id_text FROM station_names WHERE serial = ? ORDER BY last_seen DESC");
    names.addBindValue(qint64(serial));
    if (!names.exec())
        return databaseFailure(database.location(), names.lastError().text());
    while (names.next())
        found.idTexts << names.value(0).toString();
    span = found;
    return OperationResult::success();
}

OperationResult downloadSerial(Database &database, qint64 downloadId, quint32 &serial)
{
    QSqlQuery query(database.connection());
    query.prepare("SELECT serial FROM downloads WHERE id = ?");
    query.addBindValue(downloadId);
    if (!query.exec())
        return databaseFailure(database.location(), query.lastError().text());
    if (!query.next())
        return OperationResult::failure(
            OperationResult::Reason::Refused,
            QStringLiteral("The archive holds no download %1.").arg(downloadId));
    serial = quint32(query.value(0).toLongLong());
    return OperationResult::success();
}

QString configuredUnit(const QString &columnTitle, const QMap<QString, QString> &settings)
{
    // The items of the form's unit boxes, in the order the module numbers them.
    static const QStringList Temperature = {QStringLiteral("°C"), QStringLiteral("°F")};
    static const QStringList Pressure = {"mbar", "inHg", "mmHg", "hPa", "kPa"};
    static const QStringList Wind = {"m/s", "mph", "kph", "Knots"};
    static const QStringList Rain = {QString(), "mm", "in"};
    const auto item = [&settings](const char *key, const QStringList &items) {
        bool number = false;
        const int i = settings.value(QLatin1String(key)).toInt(&number);
        return number && i >= 0 && i < items.size() ? items[i] : QString();
    };
    const QString &t = columnTitle;
    if (t == "Temperature" || t == "Pressure Temperature")
        return item("TempUnits", Temperature);
    if (t == "Pressure")
        return item("PressUnits", Pressure);
    if (t == "Wind" || t == "Wind 2 min" || t == "Wind 10 min" || t == "Gust")
        return item("WindUnits", Wind);
    if (t == "Rain Inc" || t == "Rain Day")
        return item("RainType", Rain);
    if (t == "Rain Rate") {
        const QString unit = item("RainType", Rain);
        return unit.isEmpty() ? unit : unit + "/h";
    }
    if (t == "Analog 1" || t == "Analog 2") {
        const QString n = t.right(1);
        bool number = false;
        const int type = settings.value("AN" + n + "Type").toInt(&number);
        if (!number)
            return QString();
        switch (type) {
        case 1: // soil temperature
            return item(n == "1" ? "AN1Units" : "AN2Units", Temperature);
        case 2: // soil moisture
            return QStringLiteral("%");
        case 3: // solar radiation
            return QStringLiteral("W/m²");
        case 4: // custom: the text the user gave
            return settings.value("AN" + n + "Units2").trimmed();
        default:
            return QString();
        }
    }
    return QString();
}

} // namespace archive
