#ifndef STATIONBOARD_H
#define STATIONBOARD_H

#include "archive/archivequeries.h"
#include "archive/stationstate.h"
#include "core/operationresult.h"

#include <QString>
#include <QtGlobal>

#include <vector>

// A network's state at a glance: one row per station of an archive, the
// local one or a network's server, for the window's board and for
// 'talvik-cli archive stations'.
namespace archive
{

class Database;

struct BoardRow {
    StationSummary station;
    CollectionRhythm rhythm;
    qint64 lastVisitAt = 0; // ms since 1970, this PC's clock; 0 without a visit
    QString lastVisitBy;    // "user@host", or what of it the archive holds
    int softwareVersion = -1;
    // Whether the newest configuration differs from the newest one kept
    // before the last visit began; unknown without both.
    enum class Change { Unknown, Same, Changed } configurationChange = Change::Unknown;
};

OperationResult readBoard(Database &database, qint64 now, std::vector<BoardRow> &rows);

// "yes", "no", "-".
QString changeText(BoardRow::Change change);

} // namespace archive

#endif
