#include "archive/import.h"

#include "archive/archivedatabase.h"
#include "archive/importedlines.h"
#include "archive/ingest.h"
#include "archive/stationhealth.h"
#include "core/regularfile.h"
#include "log/logreader.h"
#include "log/logrecord.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <vector>

namespace archive
{

namespace
{
// Far above a full store's files (about 10 MB and 1 MB).
constexpr qint64 FileLimit = 256 * 1024 * 1024;
const char ChecksumMark[] = ",CHECKSUM ERROR";

QString tr(const char *text)
{
    return QCoreApplication::translate("Talvik", text);
}

OperationResult refused(const QString &fileName, const QString &why)
{
    return OperationResult::failure(
        OperationResult::Reason::Refused,
        tr("%1 cannot be imported: %2").arg(QDir::toNativeSeparators(fileName), why));
}

// The file's lines without their CR LF ends. A quoted field may hold a line
// break of its own; the file must end with CR LF, as Talvik writes it.
bool splitLines(const QByteArray &text, std::vector<QByteArray> &lines)
{
    if (!text.endsWith("\r\n"))
        return false;
    bool quoted = false;
    int start = 0;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            lines.push_back(text.mid(start, i - start));
            start = i + 2;
            ++i;
        } else if (!quoted && (c == '\r' || c == '\n'))
            return false;
    }
    return !quoted;
}

struct Line {
    QByteArray text;
    QVariant time; // null without a date
    qint64 index = 0;
    int kind = 0;
    bool bad = false;
    int columns = SystemLine;
};

bool parseLine(const QByteArray &text, int kind, int columns, Line &line)
{
    const int firstComma = text.indexOf(',');
    if (firstComma <= 0)
        return false;
    bool number = false;
    line.index = text.left(firstComma).toLongLong(&number);
    if (!number || line.index < 0 || line.index > 0xFFFFFFFFLL)
        return false;
    const QByteArray date = text.mid(firstComma + 1, 19);
    const QDateTime time = QDateTime::fromString(QString::fromLatin1(date), "yyyy-MM-dd hh:mm:ss");
    if (time.isValid() && text.size() > firstComma + 20 && text[firstComma + 20] == ',')
        line.time = QDateTime(time.date(), time.time(), Qt::UTC).toSecsSinceEpoch();
    line.text = text;
    line.kind = kind;
    line.bad = text.endsWith(ChecksumMark);
    line.columns = columns;
    return true;
}
} // namespace

OperationResult importLog(Database &database, const QString &fileName, quint32 serial,
                          ImportSummary &summary)
{
    // A pair Talvik wrote, as the log reader knows it.
    LogReader::Log log;
    QString error;
    if (LogReader::readLog(fileName, log, error) != 0)
        return refused(fileName, error);
    const QString measurementName = log.fileName;
    const QString systemName = LogRecord::systemFileName(measurementName);
    QByteArray measurementText;
    QByteArray systemText;
    if (RegularFile::readWhole(measurementName, FileLimit, measurementText).problem !=
            RegularFile::Problem::None ||
        RegularFile::readWhole(systemName, FileLimit, systemText).problem !=
            RegularFile::Problem::None)
        return refused(fileName, tr("both files of the pair must be readable regular files"));
    std::vector<QByteArray> measurementLines;
    std::vector<QByteArray> systemLines;
    if (!splitLines(measurementText, measurementLines) || !splitLines(systemText, systemLines) ||
        measurementLines.empty() || systemLines.size() < 2)
        return refused(fileName, tr("its lines do not end as Talvik ends them (CR LF)"));

    // The column groups the file was written with, from its header.
    int columns = -2;
    for (int mask = 0; mask < 16; ++mask)
        if (LogRecord::measurementHeader(columnsOf(mask)).toUtf8() == measurementLines[0])
            columns = mask;
    if (columns < 0)
        return refused(fileName, tr("its header is not one Talvik writes"));
    const QByteArray retriesLine = systemLines.back();
    bool number = false;
    const qint64 retries =
        retriesLine.startsWith("Retries ") ? retriesLine.mid(8).toLongLong(&number) : -1;
    if (!number || retries < 0)
        return refused(fileName, tr("its companion does not end with the retries"));

    // Measurement lines take the first slots, the system file's the rest,
    // so the files come out again as they were.
    std::vector<Line> lines;
    for (size_t i = 1; i < measurementLines.size(); ++i) {
        Line line;
        if (!parseLine(measurementLines[i], LogRecord::Measurement, columns, line))
            return refused(fileName, tr("line %1 has no record number").arg(i + 1));
        lines.push_back(line);
    }
    for (size_t i = 1; i + 1 < systemLines.size(); ++i) {
        Line line;
        if (!parseLine(systemLines[i], -1, SystemLine, line))
            return refused(fileName,
                           tr("line %1 of the companion has no record number").arg(i + 1));
        lines.push_back(line);
    }

    QSqlDatabase &db = database.connection();
    const auto failed = [&](const QSqlQuery &query) {
        db.rollback();
        return databaseFailure(database.location(), query.lastError().text());
    };
    if (!db.transaction())
        return databaseFailure(database.location(), db.lastError().text());
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QSqlQuery station(db);
    station.prepare("INSERT INTO stations (serial, first_contact, last_contact) VALUES (?, ?, ?) "
                    "ON CONFLICT (serial) DO NOTHING");
    station.addBindValue(qint64(serial));
    station.addBindValue(now);
    station.addBindValue(now);
    if (!station.exec())
        return failed(station);
    QSqlQuery count(db);
    count.prepare("SELECT COUNT(*) FROM records WHERE serial = ? AND in_history = 1");
    count.addBindValue(qint64(serial));
    if (!count.exec() || !count.next())
        return failed(count);
    const qint64 before = count.value(0).toLongLong();
    count.finish();

    const LogRecord::Columns groups = columnsOf(columns);
    QSqlQuery download(db);
    download.prepare("INSERT INTO downloads (uid, serial, downloaded_at, full_log, host, "
                     "user_name, record_count, retry_count, soil, solvane, globe1, globe2, "
                     "file_name, software_version, format_version, source, measurement_header, "
                     "system_header) VALUES (?, ?, ?, 1, NULL, NULL, ?, ?, ?, ?, ?, ?, ?, NULL, "
                     "0, 'import', ?, ?)");
    for (const QVariant &value :
         {QVariant(QUuid::createUuid().toString(QUuid::WithoutBraces)), QVariant(qint64(serial)),
          QVariant(now), QVariant(qint64(lines.size())), QVariant(retries),
          QVariant(groups.soil ? 1 : 0), QVariant(groups.solvane ? 1 : 0),
          QVariant(groups.globeTemp1 ? 1 : 0), QVariant(groups.globeTemp2 ? 1 : 0),
          QVariant(QFileInfo(measurementName).absoluteFilePath()),
          QVariant(QString::fromUtf8(measurementLines[0])),
          QVariant(QString::fromUtf8(systemLines[0]))})
        download.addBindValue(value);
    if (!download.exec())
        return failed(download);
    const qint64 downloadId = download.lastInsertId().toLongLong();

    QSqlQuery add(db);
    add.prepare("INSERT OR IGNORE INTO records (serial, record_time, record_index, kind, "
                "bad_checksum, in_history, line, line_columns) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    QSqlQuery tie(db);
    tie.prepare("INSERT INTO download_records (download_id, slot, record_id, bad_checksum) "
                "SELECT ?, ?, id, ? FROM records WHERE serial = ? AND line = ? "
                "AND line_columns = ?");
    for (size_t slot = 0; slot < lines.size(); ++slot) {
        const Line &line = lines[slot];
        const QString text = QString::fromUtf8(line.text);
        add.bindValue(0, qint64(serial));
        add.bindValue(1, line.time.isNull() ? QVariant(QVariant::LongLong) : line.time);
        add.bindValue(2, line.index);
        add.bindValue(3, line.kind);
        add.bindValue(4, line.bad ? 1 : 0);
        add.bindValue(5, line.time.isNull() ? 0 : 1);
        add.bindValue(6, text);
        add.bindValue(7, line.columns);
        if (!add.exec())
            return failed(add);
        tie.bindValue(0, downloadId);
        tie.bindValue(1, qint64(slot));
        tie.bindValue(2, line.bad ? 1 : 0);
        tie.bindValue(3, qint64(serial));
        tie.bindValue(4, text);
        tie.bindValue(5, line.columns);
        if (!tie.exec() || tie.numRowsAffected() != 1)
            return failed(tie);
    }

    // A line that a downloaded record renders to is that record; a marked
    // line leaves the history for a clean copy of its record.
    if (!retireMarkedCopies(db, serial, error) ||
        !retireMatchingLines(db, serial, downloadId, error)) {
        db.rollback();
        return databaseFailure(database.location(), error);
    }
    if (!count.exec() || !count.next())
        return failed(count);
    const qint64 after = count.value(0).toLongLong();
    count.finish();
    if (!refreshStationSummary(db, serial, error) || !keepStationHealth(database, serial, error)) {
        db.rollback();
        return databaseFailure(database.location(), error);
    }
    if (!db.commit())
        return databaseFailure(database.location(), db.lastError().text());
    summary.downloadId = downloadId;
    summary.lines = qint64(lines.size());
    summary.newRecords = after - before;
    return OperationResult::success(
        tr("Imported %1 lines as download %2; %3 records were new to the station's history.")
            .arg(summary.lines)
            .arg(downloadId)
            .arg(summary.newRecords));
}

} // namespace archive
