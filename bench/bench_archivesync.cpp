// Prints what a sync to a network's PostgreSQL server costs: a full store of
// 49,152 records, then 1,000,000 records with their rate, each beside the
// plain CSV export of the same records on this machine. It needs a server
// on which its user may make databases, as pg_virtualenv gives:
//   pg_virtualenv build/bench/bench_archivesync
#include "archive/archivedatabase.h"
#include "archive/ingest.h"
#include "archive/sync.h"
#include "core/operationprogress.h"
#include "log/logcsv.h"
#include "log/logstore.h"
#include "sim/logrecords.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <memory>

namespace
{
const char Database[] = "talvik_bench_sync";

double msOf(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

bool fail(const QString &what)
{
    std::fprintf(stderr, "%s\n", qPrintable(what));
    return false;
}

// A new, empty database for the archive, made by the owner's init.
bool freshServer(QSqlDatabase &admin)
{
    QSqlQuery query(admin);
    if (!query.exec("DROP DATABASE IF EXISTS talvik_bench_sync WITH (FORCE)") ||
        !query.exec("CREATE DATABASE talvik_bench_sync"))
        return fail(query.lastError().text());
    std::unique_ptr<archive::Database> owner;
    const OperationResult made = archive::Database::openServer(
        QStringLiteral("postgresql:///%1").arg(Database), archive::ServerUse::Init, owner);
    return made.succeeded() || fail(made.message());
}

// Records first .. first + count - 1 of the log as one station's downloads
// of at most a full store each, into a new local archive; and the same
// records as one plain CSV export, timed.
bool prepare(const std::vector<sim::Record> &log, const QString &archivePath,
             const QString &csvPath, double &csvMs)
{
    const quint32 count = quint32(log.size());
    OwnRecordStore own(count);
    const RecordStore store = own.store();
    for (quint32 slot = 0; slot < count; ++slot) {
        std::memcpy(store.records[slot], log[slot].data(), LogRecord::Size);
        store.badChecksum[slot] = 0;
    }
    LogRecord::Columns all;
    all.soil = all.solvane = all.globeTemp1 = all.globeTemp2 = true;
    NoProgress progress;
    QElapsedTimer timer;
    timer.start();
    if (writeLogCsv(csvPath, store, count, 0, all, progress).failed())
        return fail("The CSV export failed.");
    csvMs = msOf(timer);

    std::unique_ptr<archive::Database> local;
    if (archive::Database::openLocal(archivePath, local).failed())
        return fail("The local archive cannot be made.");
    for (quint32 first = 0; first < count; first += LogRecord::StoreCapacity) {
        const quint32 size = qMin<quint32>(LogRecord::StoreCapacity, count - first);
        const RecordStore part{store.records + first, store.badChecksum + first, size};
        archive::DownloadFacts facts;
        facts.serial = 20471;
        facts.stationId = "Ridge North";
        facts.downloadedAt = 1765000000000 + first;
        facts.recordCount = size;
        facts.columns = all;
        archive::IngestSummary summary;
        const OperationResult kept = archive::archiveDownload(*local, facts, part, summary);
        if (kept.failed())
            return fail(kept.message());
    }
    return true;
}

bool timeSync(const QString &archivePath, double &ms, archive::SyncSummary &summary)
{
    std::unique_ptr<archive::Database> local;
    std::unique_ptr<archive::Database> server;
    if (archive::Database::openLocal(archivePath, local).failed())
        return fail("The local archive cannot be opened.");
    const OperationResult opened = archive::Database::openServer(
        QStringLiteral("postgresql:///%1").arg(Database), archive::ServerUse::Sync, server);
    if (opened.failed())
        return fail(opened.message());
    NoProgress progress;
    QElapsedTimer timer;
    timer.start();
    const OperationResult synced =
        archive::syncArchive(*local, *server, archive::SyncOptions(), progress, summary);
    ms = msOf(timer);
    return synced.succeeded() || fail(synced.message());
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    // libpq's environment names the server, as pg_virtualenv sets it.
    QSqlDatabase admin = QSqlDatabase::addDatabase("QPSQL", "bench-admin");
    if (!admin.open()) {
        std::printf("No PostgreSQL server (%s).\nRun it where libpq's environment names a "
                    "server whose user may make databases, e.g.:\n"
                    "  pg_virtualenv build/bench/bench_archivesync\n",
                    qPrintable(admin.lastError().text().trimmed()));
        return 2;
    }
    QTemporaryDir folder;
    std::printf("%s, %d cores; PostgreSQL through Qt's QPSQL on this machine\n",
                qPrintable(QSysInfo::prettyProductName()), QThread::idealThreadCount());

    sim::LogOptions options;
    options.everyBlockCombination = true;
    options.events = false;
    struct Run {
        int records;
        const char *name;
    };
    for (const Run run :
         {Run{int(LogRecord::StoreCapacity), "full store"}, Run{1000000, "million records"}}) {
        options.intervalSeconds = 300;
        const std::vector<sim::Record> log = sim::generateLog(run.records, 11, options);
        const QString archivePath = folder.filePath(QString("%1.sqlite").arg(run.records));
        double csvMs = 0;
        double syncMs = 0;
        archive::SyncSummary summary;
        if (!prepare(log, archivePath, folder.filePath(QString("%1.csv").arg(run.records)),
                     csvMs) ||
            !freshServer(admin) || !timeSync(archivePath, syncMs, summary))
            return 1;
        std::printf("%s, %d records:\n", run.name, run.records);
        std::printf("  plain CSV export: %.0f ms\n", csvMs);
        std::printf("  sync into a new server archive: %.0f ms (%lld downloads, %lld records, "
                    "%.0f records/s)\n",
                    syncMs, static_cast<long long>(summary.downloads),
                    static_cast<long long>(summary.records), summary.records / (syncMs / 1000));
        double againMs = 0;
        if (!timeSync(archivePath, againMs, summary))
            return 1;
        std::printf("  the same sync again (nothing to send): %.0f ms\n", againMs);
    }
    admin.close();
    return 0;
}
