#include "cli/collection.h"

#include "archive/archivedatabase.h"
#include "archive/archivelocation.h"
#include "archive/downloadarchiver.h"
#include "archive/ingest.h"
#include "archive/visitrecord.h"
#include "cli/commands.h"
#include "cli/moduleconnection.h"

#include <QCoreApplication>
#include <QDateTime>

namespace cli
{

CollectionRecord::CollectionRecord(ModuleConnection &connection, Console &console)
    : connection(connection), console(console),
      enabled(archive::localArchive(archive::archivePreference()).enabled)
{
}

void CollectionRecord::identify()
{
    if (!enabled || station != 0)
        return;
    archive::StationIdentity identity;
    if (archive::askStationIdentity(connection.session(), identity).succeeded()) {
        station = identity.serial;
        idText = identity.idText;
    }
}

void CollectionRecord::record(const char *action, const OperationResult &result,
                              const QJsonObject &details)
{
    if (!enabled)
        return;
    identify();
    if (!archive::archivableSerial(station))
        return;
    std::unique_ptr<archive::Database> database;
    OperationResult kept = archive::Database::openLocal(
        archive::localArchive(archive::archivePreference()).path, database);
    qint64 visitId = 0;
    if (kept.succeeded())
        kept = archive::startVisit(
            *database, archive::visitFactsFor(station, idText, "talvik-cli", true), visitId);
    if (kept.succeeded()) {
        archive::VisitAction done;
        done.at = QDateTime::currentMSecsSinceEpoch();
        done.name = action;
        if (result.failed())
            done.failure = result.message();
        done.details = details;
        kept = archive::addVisitAction(*database, visitId, done);
    }
    if (kept.failed())
        tell(console, QCoreApplication::translate("talvik-cli", "The run was not archived. %1")
                          .arg(kept.message()));
}

} // namespace cli
