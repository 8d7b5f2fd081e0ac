#ifndef LOGDOWNLOADCHECKS_H
#define LOGDOWNLOADCHECKS_H

#include "log/logrecord.h"
#include "sim/logrecords.h"

#include <QList>
#include <QPair>
#include <QStringList>
#include <QtGlobal>

#include <set>
#include <vector>

// What the download tests read back: the requests on the wire and the files
// written, and what those files must hold.
namespace logchecks
{

using Fetch = QPair<quint32, int>;

// The requests the program wrote since the last clear: the command code of
// each, and first record and count of each fetch.
QList<int> commandsSent();
QList<Fetch> fetchesSent();
QList<int> parametersRead();

// The lines of a file written with CR LF after every line, or an empty list
// with a warning when it is not such a file.
QStringList fileLines(const QString &path);

struct ExpectedFiles {
    QStringList measurements;
    QStringList system;
};

// What the two files must hold for these records, slot by slot.
ExpectedFiles expectedFiles(const std::vector<sim::Record> &records,
                            const LogRecord::Columns &columns, const std::set<int> &marked,
                            int retries);

LogRecord::Columns columns(bool soil, bool solvane, bool globe1, bool globe2);
std::vector<sim::Record> plainLog(int count);

// Keeps the port's line for every byte a full ring turns away out of the
// test log while it lives; every other message passes on.
class OverflowLinesMuted
{
public:
    OverflowLinesMuted();
    ~OverflowLinesMuted();
    OverflowLinesMuted(const OverflowLinesMuted &) = delete;
    OverflowLinesMuted &operator=(const OverflowLinesMuted &) = delete;
};

} // namespace logchecks

#endif
