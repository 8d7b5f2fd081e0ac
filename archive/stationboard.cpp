#include "archive/stationboard.h"

#include "archive/archivedatabase.h"

#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace archive
{

namespace
{
struct Configuration {
    qint64 at;
    QString settings;
};

OperationResult queryFailed(Database &database, const QSqlQuery &query)
{
    return databaseFailure(database.location(), query.lastError().text());
}
} // namespace

QString changeText(BoardRow::Change change)
{
    switch (change) {
    case BoardRow::Change::Same:
        return QStringLiteral("no");
    case BoardRow::Change::Changed:
        return QStringLiteral("yes");
    case BoardRow::Change::Unknown:
        break;
    }
    return QStringLiteral("-");
}

OperationResult readBoard(Database &database, qint64 now, std::vector<BoardRow> &rows)
{
    QVector<StationSummary> stations;
    QMap<quint32, CollectionRhythm> rhythms;
    OperationResult read = listStations(database, stations);
    if (read.succeeded())
        read = collectionRhythms(database, now, rhythms);
    if (read.failed())
        return read;

    QSqlQuery query(database.connection());
    query.setForwardOnly(true);
    // The last visit of each station and who made it.
    QMap<quint32, std::pair<qint64, QString>> lastVisit;
    if (!query.exec("SELECT serial, started_at, user_name, host FROM visits WHERE kind = 'visit' "
                    "ORDER BY serial, started_at"))
        return queryFailed(database, query);
    while (query.next()) {
        const QString user = query.value(2).toString();
        const QString host = query.value(3).toString();
        QString by = user;
        if (!host.isEmpty())
            by += '@' + host;
        lastVisit[quint32(query.value(0).toLongLong())] = {query.value(1).toLongLong(), by};
    }
    QMap<quint32, int> versions;
    if (!query.exec("SELECT serial, software_version FROM downloads WHERE software_version IS "
                    "NOT NULL ORDER BY serial, downloaded_at"))
        return queryFailed(database, query);
    while (query.next())
        versions[quint32(query.value(0).toLongLong())] = query.value(1).toInt();
    QMap<quint32, std::vector<Configuration>> configurations;
    if (!query.exec("SELECT serial, recorded_at, settings FROM configurations "
                    "ORDER BY serial, recorded_at"))
        return queryFailed(database, query);
    while (query.next())
        configurations[quint32(query.value(0).toLongLong())].push_back(
            {query.value(1).toLongLong(), query.value(2).toString()});

    std::vector<BoardRow> found;
    for (const StationSummary &station : stations) {
        BoardRow row;
        row.station = station;
        row.rhythm = rhythms.value(station.serial);
        row.softwareVersion = versions.value(station.serial, -1);
        if (lastVisit.contains(station.serial)) {
            row.lastVisitAt = lastVisit[station.serial].first;
            row.lastVisitBy = lastVisit[station.serial].second;
            const std::vector<Configuration> &kept = configurations[station.serial];
            const Configuration *before = nullptr;
            for (const Configuration &configuration : kept)
                if (configuration.at < row.lastVisitAt)
                    before = &configuration;
            if (before != nullptr)
                row.configurationChange = kept.back().settings == before->settings
                                              ? BoardRow::Change::Same
                                              : BoardRow::Change::Changed;
        }
        found.push_back(row);
    }
    rows = std::move(found);
    return OperationResult::success();
}

} // namespace archive
