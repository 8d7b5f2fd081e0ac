#ifndef IMPORTEDLINES_H
#define IMPORTEDLINES_H

#include "log/logrecord.h"

#include <QSqlDatabase>
#include <QString>
#include <QtGlobal>

// Records imported from CSV files are kept as their lines: six significant
// digits cannot give the bytes back. A downloaded record is the same record
// as an imported line when it renders to exactly that line.
namespace archive
{

// A line of the system file has no column groups of its own.
constexpr int SystemLine = -1;

int columnsMask(const LogRecord::Columns &columns);
LogRecord::Columns columnsOf(int mask);

// The line the record's bytes give with the line's column groups.
QString renderedLine(const QByteArray &bytes, int lineColumns, bool badChecksum);

// Takes out of the history every checksum-marked copy of a record whose
// clean copy (downloaded or imported) is there, whichever came first.
bool retireMarkedCopies(QSqlDatabase &db, qint64 serial, QString &error);

// Takes out of the history every imported line of the station that a
// downloaded record of the same time and Index renders to; with a download
// id, only the pairs that download's records take part in. False with the
// database's error.
bool retireMatchingLines(QSqlDatabase &db, qint64 serial, qint64 downloadId, QString &error);

} // namespace archive

#endif
