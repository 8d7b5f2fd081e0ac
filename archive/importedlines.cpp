#include "archive/importedlines.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QVector>

namespace archive
{

int columnsMask(const LogRecord::Columns &columns)
{
    return (columns.soil ? 1 : 0) | (columns.solvane ? 2 : 0) | (columns.globeTemp1 ? 4 : 0) |
           (columns.globeTemp2 ? 8 : 0);
}

LogRecord::Columns columnsOf(int mask)
{
    LogRecord::Columns columns;
    columns.soil = (mask & 1) != 0;
    columns.solvane = (mask & 2) != 0;
    columns.globeTemp1 = (mask & 4) != 0;
    columns.globeTemp2 = (mask & 8) != 0;
    return columns;
}

QString renderedLine(const QByteArray &bytes, int lineColumns, bool badChecksum)
{
    if (bytes.size() != LogRecord::Size)
        return QString();
    const auto *record = reinterpret_cast<const unsigned char *>(bytes.constData());
    return lineColumns == SystemLine
               ? LogRecord::systemLine(record, badChecksum)
               : LogRecord::measurementLine(record, columnsOf(lineColumns), badChecksum);
}

bool retireMarkedCopies(QSqlDatabase &db, qint64 serial, QString &error)
{
    QSqlQuery supersede(db);
    supersede.prepare("UPDATE records SET in_history = 0 WHERE serial = ? AND in_history = 1 "
                      "AND bad_checksum = 1 AND EXISTS (SELECT 1 FROM records clean "
                      "WHERE clean.serial = records.serial "
                      "AND clean.record_time = records.record_time "
                      "AND clean.record_index = records.record_index "
                      "AND clean.in_history = 1 AND clean.bad_checksum = 0)");
    supersede.addBindValue(serial);
    if (supersede.exec())
        return true;
    error = supersede.lastError().text();
    return false;
}

bool retireMatchingLines(QSqlDatabase &db, qint64 serial, qint64 downloadId, QString &error)
{
    // Pairs of an imported line in the history and a downloaded record of
    // the same time and Index.
    QSqlQuery pairs(db);
    pairs.setForwardOnly(true);
    pairs.prepare("SELECT l.id, l.line, l.line_columns, r.bytes, r.bad_checksum "
                  "FROM records l JOIN records r ON r.serial = l.serial "
                  "AND r.record_time = l.record_time AND r.record_index = l.record_index "
                  "AND r.bytes IS NOT NULL "
                  "WHERE l.serial = ? AND l.line IS NOT NULL AND l.in_history = 1 "
                  "AND (? = 0 OR EXISTS (SELECT 1 FROM download_records m "
                  "WHERE m.download_id = ? AND (m.record_id = l.id OR m.record_id = r.id)))");
    pairs.addBindValue(serial);
    pairs.addBindValue(downloadId);
    pairs.addBindValue(downloadId);
    if (!pairs.exec()) {
        error = pairs.lastError().text();
        return false;
    }
    QVector<qint64> matched;
    while (pairs.next()) {
        if (renderedLine(pairs.value(3).toByteArray(), pairs.value(2).toInt(),
                         pairs.value(4).toInt() != 0) == pairs.value(1).toString())
            matched.append(pairs.value(0).toLongLong());
    }
    QSqlQuery retire(db);
    retire.prepare("UPDATE records SET in_history = 0 WHERE id = ?");
    for (qint64 id : matched) {
        retire.bindValue(0, id);
        if (!retire.exec()) {
            error = retire.lastError().text();
            return false;
        }
    }
    return true;
}

} // namespace archive
