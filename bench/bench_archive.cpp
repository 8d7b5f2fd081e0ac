// Prints what the local archive costs for a full store of 49,152 records:
// the first archiving (every record new), the same download again (every
// record known), and the download's files written again from the archive,
// each beside the plain CSV export of the same records on this machine.
#include "archive/archivedatabase.h"
#include "archive/archivequeries.h"
#include "archive/history.h"
#include "archive/ingest.h"
#include "archive/stationhealth.h"
#include "core/operationprogress.h"
#include "log/logcsv.h"
#include "log/logstore.h"
#include "sim/logrecords.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <memory>

namespace
{
double msOf(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;
    const quint32 count = LogRecord::StoreCapacity;
    OwnRecordStore own(count);
    const RecordStore store = own.store();
    sim::LogOptions options;
    options.everyBlockCombination = true;
    const std::vector<sim::Record> log = sim::generateLog(int(count), 11, options);
    for (quint32 slot = 0; slot < count; ++slot) {
        std::memcpy(store.records[slot], log[slot].data(), LogRecord::Size);
        store.badChecksum[slot] = 0;
    }
    LogRecord::Columns all;
    all.soil = all.solvane = all.globeTemp1 = all.globeTemp2 = true;

    NoProgress progress;
    QElapsedTimer timer;
    timer.start();
    if (writeLogCsv(folder.filePath("plain.csv"), store, count, 0, all, progress).failed())
        return 1;
    const double csv = msOf(timer);

    std::unique_ptr<archive::Database> database;
    if (archive::Database::openLocal(folder.filePath("archive.sqlite"), database).failed())
        return 1;
    archive::DownloadFacts facts;
    facts.serial = 20471;
    facts.stationId = "Ridge North";
    facts.recordCount = count;
    facts.columns = all;
    archive::IngestSummary first;
    archive::IngestSummary again;
    timer.restart();
    if (archive::archiveDownload(*database, facts, store, first).failed())
        return 1;
    const double firstMs = msOf(timer);
    timer.restart();
    if (archive::archiveDownload(*database, facts, store, again).failed())
        return 1;
    const double againMs = msOf(timer);
    // The station's last week judged for the board, which each of the two
    // did inside its transaction.
    timer.restart();
    QString error;
    if (!archive::keepStationHealth(*database, facts.serial, error))
        return 1;
    const double weekMs = msOf(timer);
    timer.restart();
    if (archive::exportDownload(*database, first.downloadId, folder.filePath("again.csv")).failed())
        return 1;
    const double exportMs = msOf(timer);

    // A year of 5-minute records, brought by three downloads, exported as
    // the station's history.
    const quint32 year = 105120;
    sim::LogOptions yearly;
    yearly.intervalSeconds = 300;
    yearly.events = false;
    const std::vector<sim::Record> yearLog = sim::generateLog(int(year), 12, yearly);
    OwnRecordStore yearOwn(year);
    const RecordStore yearStore = yearOwn.store();
    for (quint32 slot = 0; slot < year; ++slot) {
        std::memcpy(yearStore.records[slot], yearLog[slot].data(), LogRecord::Size);
        yearStore.badChecksum[slot] = 0;
    }
    timer.restart();
    if (writeLogCsv(folder.filePath("year-plain.csv"), yearStore, year, 0, {}, progress).failed())
        return 1;
    const double yearCsv = msOf(timer);
    archive::DownloadFacts yearFacts;
    yearFacts.serial = 20472;
    for (quint32 first = 0; first < year; first += count) {
        const quint32 part = qMin(count, year - first);
        const RecordStore slice{yearStore.records + first, yearStore.badChecksum + first, part};
        yearFacts.recordCount = part;
        archive::IngestSummary ignored;
        if (archive::archiveDownload(*database, yearFacts, slice, ignored).failed())
            return 1;
    }
    qint64 exported = 0;
    timer.restart();
    if (archive::exportStation(*database, yearFacts.serial, archive::NoLimit, archive::NoLimit,
                               folder.filePath("year.csv"), exported)
            .failed())
        return 1;
    const double yearMs = msOf(timer);

    std::printf("%s, %d cores; a full store of %u records, all column groups\n",
                qPrintable(QSysInfo::prettyProductName()), QThread::idealThreadCount(), count);
    std::printf("plain CSV export: %.0f ms\n", csv);
    std::printf("archive into a new SQLite file: %.0f ms (%lld new records)\n", firstMs,
                static_cast<long long>(first.newRecords));
    std::printf("the same download again: %.0f ms (%lld new records)\n", againMs,
                static_cast<long long>(again.newRecords));
    std::printf("  of each, the station's last week judged for the board: %.0f ms\n", weekMs);
    std::printf("that download's files again from the archive: %.0f ms\n", exportMs);
    std::printf("a year of 5-minute records (%lld) as the station's history: %.0f ms; plain CSV "
                "export of the same records: %.0f ms\n",
                static_cast<long long>(exported), yearMs, yearCsv);
    return 0;
}
