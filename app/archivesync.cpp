#include "app/archivesync.h"

#include "app/stationarchive.h"
#include "app/stationsboard.h"
#include "app/visitreportdialog.h"
#include "archive/archivedatabase.h"
#include "archive/archivelocation.h"
#include "archive/sync.h"
#include "archive/visitrecord.h"
#include "core/operationprogress.h"

#include <QAction>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QThread>

namespace
{
const char *const ServerKey = "ArchiveServer";
const char *const NamesKey = "ArchiveSendNames";

QSettings preferences()
{
    return QSettings("Norvale", "Talvik");
}

// One sync, on connections of its own in its own thread.
OperationResult runSync(const QString &localPath, const QString &server, bool withNames,
                        archive::SyncSummary &summary)
{
    std::unique_ptr<archive::Database> local;
    const OperationResult openedLocal = archive::Database::openLocal(localPath, local);
    if (openedLocal.failed())
        return openedLocal;
    std::unique_ptr<archive::Database> remote;
    const OperationResult openedRemote =
        archive::Database::openServer(server, archive::ServerUse::Sync, remote);
    if (openedRemote.failed())
        return openedRemote;
    archive::SyncOptions options;
    options.withNames = withNames;
    NoProgress progress;
    return archive::syncArchive(*local, *remote, options, progress, summary);
}
} // namespace

ArchiveSync::ArchiveSync(QWidget *window, QMenu *tools, StationArchive &stations)
    : QObject(window), window(window), stations(stations),
      serverAction(tools->addAction(tr("Archive Server…"))),
      namesAction(tools->addAction(tr("Send Host and User Names"))),
      syncAction(tools->addAction(tr("Sync Archive"))),
      boardAction(tools->addAction(tr("Stations…")))
{
    boardAction->setObjectName("actionStations");
    connect(boardAction, &QAction::triggered, this, &ArchiveSync::showStations);
    serverAction->setObjectName("actionArchiveServer");
    namesAction->setObjectName("actionArchiveNames");
    syncAction->setObjectName("actionSyncArchive");
    namesAction->setCheckable(true);
    namesAction->setChecked(preferences().value(NamesKey, false).toBool());
    connect(serverAction, &QAction::triggered, this, &ArchiveSync::askServer);
    connect(namesAction, &QAction::toggled, this,
            [](bool on) { preferences().setValue(NamesKey, on); });
    connect(syncAction, &QAction::triggered, this, &ArchiveSync::sync);
    updateActions();
}

// The window waits for a sync under way before it goes: its transaction
// then ends whole, as a stopped sync's would.
ArchiveSync::~ArchiveSync()
{
    if (worker != nullptr)
        worker->wait();
}

void ArchiveSync::showStations()
{
    const QString server = preferences().value(ServerKey).toString();
    const archive::Location location = archive::localArchive(archive::archivePreference());
    const QString source = server.isEmpty() ? location.path : server;
    if (source.isEmpty()) {
        stations.showNote(tr("No stations to show: the archive is off and no server is set."));
        return;
    }
    auto *board = new StationsBoard(source, window);
    board->setAttribute(Qt::WA_DeleteOnClose);
    // The station's history and its last visit report, from this PC's archive.
    connect(board, &StationsBoard::stationChosen, this, [this, board](quint32 serial) {
        if (openHistory)
            openHistory(serial);
        archive::Database *database = stations.database();
        std::vector<archive::Visit> visits;
        if (database == nullptr || archive::listVisits(*database, serial, visits).failed() ||
            visits.empty())
            return;
        auto *report = new VisitReportDialog(*database, serial, visits.back().id, board);
        report->setAttribute(Qt::WA_DeleteOnClose);
        report->show();
    });
    board->show();
}

void ArchiveSync::updateActions()
{
    syncAction->setEnabled(worker == nullptr &&
                           !preferences().value(ServerKey).toString().isEmpty());
}

void ArchiveSync::askServer()
{
    bool accepted = false;
    const QString address =
        QInputDialog::getText(window, tr("Archive Server"),
                              tr("The network's PostgreSQL server, as postgresql://user@host/"
                                 "database (no password: libpq's files keep it).\nEmpty: no "
                                 "server."),
                              QLineEdit::Normal, preferences().value(ServerKey).toString(),
                              &accepted)
            .trimmed();
    if (!accepted)
        return;
    const QString problem =
        address.isEmpty() ? QString() : archive::Database::serverAddressProblem(address);
    if (!problem.isEmpty()) {
        QMessageBox::critical(window, tr("Talvik"),
                              tr("The server address cannot be kept: %1.").arg(problem));
        return;
    }
    preferences().setValue(ServerKey, address);
    updateActions();
}

void ArchiveSync::sync()
{
    const archive::Location location = archive::localArchive(archive::archivePreference());
    const QString server = preferences().value(ServerKey).toString();
    if (worker != nullptr || server.isEmpty())
        return;
    if (!location.enabled) {
        stations.showNote(tr("Not synced: the archive is off."));
        return;
    }
    const bool withNames = namesAction->isChecked();
    stations.showNote(tr("Syncing the archive…"));
    auto outcome = std::make_shared<std::pair<OperationResult, archive::SyncSummary>>(
        OperationResult::success(), archive::SyncSummary());
    worker = QThread::create(
        [=] { outcome->first = runSync(location.path, server, withNames, outcome->second); });
    connect(worker, &QThread::finished, this, [this, outcome] {
        worker->deleteLater();
        worker = nullptr;
        updateActions();
        const archive::SyncSummary &summary = outcome->second;
        stations.showNote(outcome->first.failed()
                              ? tr("Not synced. %1").arg(outcome->first.message())
                              : tr("Synced %1 downloads (%2 records) and %3 configurations")
                                    .arg(summary.downloads)
                                    .arg(summary.records)
                                    .arg(summary.configurations));
    });
    updateActions();
    syncAction->setEnabled(false);
    worker->start();
}
