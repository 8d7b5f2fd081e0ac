#include "archive/stationstate.h"

#include "archive/archivedatabase.h"
#include "log/healthcheck.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace archive
{

// The factors sit in the health check's thresholds table, with where they
// come from.
double lateFactor()
{
    return HealthCheck::limits().stationLateFactor;
}

double missingFactor()
{
    return HealthCheck::limits().stationMissingFactor;
}

CollectionRhythm collectionRhythm(std::vector<DownloadMoment> downloads, qint64 now)
{
    CollectionRhythm rhythm;
    rhythm.downloads = int(downloads.size());
    if (downloads.empty())
        return rhythm;
    std::sort(downloads.begin(), downloads.end(),
              [](const DownloadMoment &a, const DownloadMoment &b) { return a.at < b.at; });
    for (const DownloadMoment &download : downloads)
        if (download.broughtRecords)
            rhythm.lastWithRecords = download.at;
    rhythm.age =
        now - (rhythm.lastWithRecords != 0 ? rhythm.lastWithRecords : downloads.front().at);
    if (downloads.size() < 2)
        return rhythm;
    std::vector<qint64> steps;
    for (size_t i = 1; i < downloads.size(); ++i)
        steps.push_back(downloads[i].at - downloads[i - 1].at);
    std::sort(steps.begin(), steps.end());
    const size_t middle = steps.size() / 2;
    rhythm.usualInterval =
        steps.size() % 2 == 1 ? steps[middle] : (steps[middle - 1] + steps[middle]) / 2;
    // Downloads a moment apart (a full one after a new one) give no rhythm.
    if (rhythm.usualInterval <= 0)
        return rhythm;
    if (rhythm.age > rhythm.usualInterval * missingFactor())
        rhythm.state = StationState::Missing;
    else if (rhythm.age > rhythm.usualInterval * lateFactor())
        rhythm.state = StationState::Late;
    else
        rhythm.state = StationState::OnTime;
    return rhythm;
}

QString stateName(StationState state)
{
    switch (state) {
    case StationState::OnTime:
        return QStringLiteral("on time");
    case StationState::Late:
        return QStringLiteral("late");
    case StationState::Missing:
        return QStringLiteral("missing");
    case StationState::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

OperationResult collectionRhythms(Database &database, qint64 now,
                                  QMap<quint32, CollectionRhythm> &rhythms)
{
    QSqlQuery query(database.connection());
    query.setForwardOnly(true);
    if (!query.exec("SELECT serial, downloaded_at, record_count FROM downloads "
                    "WHERE source = 'module' ORDER BY serial"))
        return databaseFailure(database.location(), query.lastError().text());
    QMap<quint32, std::vector<DownloadMoment>> byStation;
    while (query.next())
        byStation[quint32(query.value(0).toLongLong())].push_back(
            {query.value(1).toLongLong(), query.value(2).toLongLong() > 0});
    // A download of new records that found none leaves no download, only
    // its action in a visit or collection; it still keeps the rhythm.
    QSqlQuery empty(database.connection());
    empty.setForwardOnly(true);
    if (!empty.exec(QString("SELECT v.serial, a.at, a.details FROM visit_actions a JOIN visits v "
                            "ON %1 WHERE a.action = 'download' AND a.failure IS NOT NULL")
                        .arg(database.isServer() ? "v.uid = a.visit_uid" : "v.id = a.visit_id")))
        return databaseFailure(database.location(), empty.lastError().text());
    while (empty.next())
        if (QJsonDocument::fromJson(empty.value(2).toString().toUtf8())
                .object()
                .value("nothingNew")
                .toBool())
            byStation[quint32(empty.value(0).toLongLong())].push_back(
                {empty.value(1).toLongLong(), false});
    QMap<quint32, CollectionRhythm> found;
    for (auto station = byStation.begin(); station != byStation.end(); ++station)
        found.insert(station.key(), collectionRhythm(std::move(station.value()), now));
    rhythms = found;
    return OperationResult::success();
}

} // namespace archive
