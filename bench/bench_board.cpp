// Prints how long the stations board takes on a network's PostgreSQL server
// as the records grow: 500 stations with 1,000,000 records in all, then
// 5,000,000, each record put through the local ingest and sent by the sync,
// the main steps of the query plan of the stations' list, and how long
// judging every station's last week takes on the server. It needs a
// server on which its user may make databases, as pg_virtualenv gives:
//   pg_virtualenv build/bench/bench_board
#include "archive/archivedatabase.h"
#include "archive/ingest.h"
#include "archive/stationboard.h"
#include "archive/stationhealth.h"
#include "archive/sync.h"
#include "core/operationprogress.h"
#include "log/logstore.h"
#include "sim/logrecords.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{
const char Server[] = "postgresql:///talvik_bench_board";
constexpr int Stations = 500;
// Each station's records come in downloads of this many, one a day.
constexpr int PerDownload = 1000;

bool fail(const QString &what)
{
    std::fprintf(stderr, "%s\n", qPrintable(what));
    return false;
}

// Downloads first .. last - 1 of every station into the local archive.
bool ingest(archive::Database &local, int first, int last, qint64 now)
{
    OwnRecordStore own(PerDownload);
    const RecordStore store = own.store();
    sim::LogOptions options;
    options.events = false;
    options.intervalSeconds = 300;
    for (int station = 0; station < Stations; ++station) {
        options.start = sim::addSeconds(sim::LogTime{2020, 1, 1, 0, 0, 0},
                                        qint64(first) * PerDownload * options.intervalSeconds);
        options.firstIndex = std::uint32_t(first * PerDownload);
        const std::vector<sim::Record> log =
            sim::generateLog((last - first) * PerDownload, std::uint32_t(station + 1), options);
        for (int download = first; download < last; ++download) {
            for (int slot = 0; slot < PerDownload; ++slot) {
                std::memcpy(store.records[slot],
                            log[size_t((download - first) * PerDownload + slot)].data(),
                            LogRecord::Size);
                store.badChecksum[slot] = 0;
            }
            archive::DownloadFacts facts;
            facts.serial = quint32(30000 + station);
            facts.stationId = QStringLiteral("Station %1").arg(station);
            // Daily, the tenth an hour ago: with two each, the stations are
            // a week behind.
            facts.downloadedAt = now - 3600000 - qint64(9 - download) * 86400000;
            facts.full = false;
            facts.recordCount = PerDownload;
            archive::IngestSummary summary;
            const OperationResult kept = archive::archiveDownload(local, facts, store, summary);
            if (kept.failed())
                return fail(kept.message());
        }
    }
    return true;
}

bool sync(archive::Database &local, double &ms)
{
    std::unique_ptr<archive::Database> server;
    const OperationResult opened =
        archive::Database::openServer(Server, archive::ServerUse::Sync, server);
    if (opened.failed())
        return fail(opened.message());
    NoProgress progress;
    archive::SyncSummary summary;
    QElapsedTimer timer;
    timer.start();
    const OperationResult synced =
        archive::syncArchive(local, *server, archive::SyncOptions(), progress, summary);
    ms = timer.nsecsElapsed() / 1e6;
    return synced.succeeded() || fail(synced.message());
}

// The board read five times on a connection of its own; the median, and
// the plan of the stations' list.
bool measureBoard(QSqlDatabase &admin, qint64 now)
{
    std::unique_ptr<archive::Database> server;
    const OperationResult opened =
        archive::Database::openServer(Server, archive::ServerUse::Read, server);
    if (opened.failed())
        return fail(opened.message());
    std::vector<double> times;
    std::vector<archive::BoardRow> rows;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        const OperationResult read = archive::readBoard(*server, now, rows);
        times.push_back(timer.nsecsElapsed() / 1e6);
        if (read.failed())
            return fail(read.message());
    }
    std::sort(times.begin(), times.end());
    QSqlQuery count(admin);
    if (!count.exec("SELECT COUNT(*) FROM records") || !count.next())
        return fail(count.lastError().text());
    const long long late = std::count_if(rows.begin(), rows.end(), [](const auto &row) {
        return row.rhythm.state != archive::StationState::OnTime;
    });
    std::printf("  %lld records on the server: board of %zu stations (%lld not on time) in "
                "%.1f ms median (%.1f to %.1f ms over 5 reads)\n",
                count.value(0).toLongLong(), rows.size(), late, times[2], times.front(),
                times.back());
    QSqlQuery plan(server->connection());
    if (!plan.exec("EXPLAIN ANALYZE SELECT s.serial, COALESCE(m.records, 0), "
                   "m.first_record_time, m.last_record_time, (SELECT MAX(downloaded_at) FROM "
                   "downloads d WHERE d.serial = s.serial), m.health_revision = m.revision, "
                   "m.findings, m.worst_finding, m.battery, m.battery_per_day FROM stations s "
                   "LEFT JOIN station_summaries m ON m.serial = s.serial ORDER BY s.serial"))
        return fail(plan.lastError().text());
    std::printf("  plan of the stations' list:\n");
    while (plan.next()) {
        const QString line = plan.value(0).toString();
        if (line.contains("->") || line.startsWith("Sort") || line.contains("Execution Time"))
            std::printf("    %s\n", qPrintable(line));
    }
    return true;
}

// What a sync's end costs when every station's records changed: each
// station's last week read from the server and judged.
bool measureJudging(QSqlDatabase &admin)
{
    QSqlQuery stale(admin);
    if (!stale.exec("UPDATE station_summaries SET health_revision = NULL"))
        return fail(stale.lastError().text());
    std::unique_ptr<archive::Database> server;
    OperationResult done = archive::Database::openServer(Server, archive::ServerUse::Sync, server);
    QElapsedTimer timer;
    timer.start();
    if (done.succeeded())
        done = archive::keepStaleHealth(*server);
    if (done.failed())
        return fail(done.message());
    const double ms = timer.nsecsElapsed() / 1e6;
    std::printf("  every station's last week judged on the server: %.1f s, %.0f ms a station\n",
                ms / 1000, ms / Stations);
    return true;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QSqlDatabase admin = QSqlDatabase::addDatabase("QPSQL", "bench-admin");
    if (!admin.open()) {
        std::printf("No PostgreSQL server (%s).\nRun it where libpq's environment names a "
                    "server whose user may make databases, e.g.:\n"
                    "  pg_virtualenv build/bench/bench_board\n",
                    qPrintable(admin.lastError().text().trimmed()));
        return 2;
    }
    {
        QSqlQuery query(admin);
        if (!query.exec("DROP DATABASE IF EXISTS talvik_bench_board WITH (FORCE)") ||
            !query.exec("CREATE DATABASE talvik_bench_board")) {
            fail(query.lastError().text());
            return 1;
        }
        std::unique_ptr<archive::Database> owner;
        const OperationResult made =
            archive::Database::openServer(Server, archive::ServerUse::Init, owner);
        if (made.failed()) {
            fail(made.message());
            return 1;
        }
    }
    QSqlDatabase board = QSqlDatabase::addDatabase("QPSQL", "bench-board");
    board.setDatabaseName("talvik_bench_board");
    if (!board.open()) {
        fail(board.lastError().text());
        return 1;
    }
    std::printf("%s, %d cores; PostgreSQL through Qt's QPSQL on this machine; %d stations, "
                "records in daily downloads of %d\n",
                qPrintable(QSysInfo::prettyProductName()), QThread::idealThreadCount(), Stations,
                PerDownload);

    QTemporaryDir folder;
    std::unique_ptr<archive::Database> local;
    if (archive::Database::openLocal(folder.filePath("network.sqlite"), local).failed())
        return 1;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    int downloads = 0;
    for (const int upTo : {2, 10}) {
        QElapsedTimer timer;
        timer.start();
        if (!ingest(*local, downloads, upTo, now))
            return 1;
        const double ingestMs = timer.nsecsElapsed() / 1e6;
        double syncMs = 0;
        if (!sync(*local, syncMs))
            return 1;
        std::printf("%d downloads a station: ingest %.0f s, sync %.0f s\n", upTo, ingestMs / 1000,
                    syncMs / 1000);
        if (!measureBoard(board, now) || !measureJudging(board))
            return 1;
        downloads = upTo;
    }
    return 0;
}
