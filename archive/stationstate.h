#ifndef STATIONSTATE_H
#define STATIONSTATE_H

#include "core/operationresult.h"

#include <QMap>
#include <QString>
#include <QtGlobal>

#include <vector>

// Whether a station's data comes in as often as it usually does. The
// rhythm is each station's own, on this PC's clock (the module's may be
// off): the age is the time since the last download that brought records,
// the usual interval the median time between its downloads, empty ones
// included.
namespace archive
{

class Database;

enum class StationState { OnTime, Late, Missing, Unknown };

struct CollectionRhythm {
    int downloads = 0;
    qint64 usualInterval = 0;   // ms; 0 with fewer than two downloads
    qint64 lastWithRecords = 0; // ms since 1970; 0 when none brought records
    qint64 age = 0;             // ms since then (since the first download when none did)
    StationState state = StationState::Unknown;
};

struct DownloadMoment {
    qint64 at = 0; // ms since 1970, this PC's clock
    bool broughtRecords = false;
};

// The rule: on time while the age is under the usual interval times
// lateFactor(), late past it, missing past missingFactor() times it;
// unknown with fewer than two downloads.
CollectionRhythm collectionRhythm(std::vector<DownloadMoment> downloads, qint64 now);
double lateFactor();
double missingFactor();

// "on time", "late", "missing", "unknown".
QString stateName(StationState state);

// Every station's rhythm from the downloads the archive holds (imports are
// not collections and do not count).
OperationResult collectionRhythms(Database &database, qint64 now,
                                  QMap<quint32, CollectionRhythm> &rhythms);

} // namespace archive

#endif
