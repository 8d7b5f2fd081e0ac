// bench_soak [minutes] [records] [--paced]
//
// Downloads the log from the simulated Control Module again and again on one
// port and one session, as a long day at a station would, and watches the
// process for what grows: resident memory, open file descriptors, threads.
//
// The rounds take turns: a full download; only the new records, after the
// module logged more; a full download with one record corrupted once (it
// is fetched again); a download during which the module drops off the bus
// (it must fail, write nothing, and the port must open the module again
// once it is back). Every download that succeeds is checked against the
// records the module offered, line for line.

#include "core/operationprogress.h"
#include "log/logdownloader.h"
#include "log/logrecord.h"
#include "log/logstore.h"
#include "sim/logrecords.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "usb/modulesession.h"
#include "usb/qusbport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

long procStatus(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(std::strlen(key))).trimmed().split(' ').first().toLong();
    return -1;
}

int openFileDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
        .size();
}

// How many retries the fetch needed.
struct RetryCount : DownloadObserver {
    void fetchFinished(quint32 retryCount) override { count = retryCount; }
    quint32 count = 0;
};

int lineCount(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : -1;
}

struct Sample {
    long rssKb = 0;
    int fds = 0;
    long threads = 0;
};

Sample sample()
{
    return {procStatus("VmRSS:"), openFileDescriptors(), procStatus("Threads:")};
}

enum class Round { Full, New, Corrupted, DropOff };
const char *const RoundNames[] = {"full", "new", "corrupted", "drop-off"};

} // namespace

int main(int argc, char **argv)
{
    const double minutes = argc > 1 ? std::atof(argv[1]) : 10;
    const int recordCount = argc > 2 ? std::atoi(argv[2]) : 4096;
    const bool paced = argc > 3 && std::strcmp(argv[3], "--paced") == 0;

    // The module lock and nothing else goes to a runtime folder of our own.
    QTemporaryDir scratch;
    qputenv("XDG_RUNTIME_DIR", scratch.path().toLocal8Bit());
    QCoreApplication application(argc, argv);

    sim::SimulatedModule &module = sim::freshModule();
    if (paced)
        sim::setPacing(sim::Pacing::FullSpeed);
    std::uint32_t seed = 1;
    module.addRecords(sim::generateLog(recordCount, seed));

    QUSBPort port;
    ModuleSession session(port);
    port.start();
    auto reopened = [&] { return QTest::qWaitFor([&] { return port.isDeviceOpen(); }, 10000); };
    if (!reopened()) {
        std::printf("the simulated module did not open\n");
        return 3;
    }

    const QString file = scratch.path() + QStringLiteral("/Log.csv");
    const QString systemFile = LogRecord::systemFileName(file);
    NoProgress progress;
    // A store of the soak's own, on the heap as a long-lived program's is.
    OwnRecordStore ownStore;
    const RecordStore store = ownStore.store();
    QElapsedTimer total;
    total.start();
    const Sample first = sample();
    Sample last = first;
    // After the first round, once the log store and the caches are in use.
    Sample warm = first;
    long maxRss = first.rssKb;
    int rounds = 0, failures = 0;
    std::printf("%d records a download, %s; minutes %.1f\n", recordCount,
                paced ? "paced as full-speed USB" : "unpaced", minutes);
    std::printf("start: rss %ld KB, fds %d, threads %ld\n", first.rssKb, first.fds, first.threads);
    while (total.elapsed() < qint64(minutes * 60000)) {
        const Round kind = Round(rounds % 4);
        QFile::remove(file);
        QFile::remove(systemFile);

        std::vector<sim::Record> offered;
        if (kind == Round::New) {
            const std::uint32_t mark = module.newMark();
            module.addRecords(sim::generateLog(recordCount / 8, ++seed));
            const std::vector<sim::Record> all = module.records();
            offered.assign(all.begin() + mark, all.end());
        } else {
            if (module.recordCount() > std::uint32_t(recordCount) * 2) {
                module.clearRecords();
                module.addRecords(sim::generateLog(recordCount, ++seed));
            }
            offered = module.records();
            if (kind == Round::Corrupted) {
                // An erased slot carries no checksum to fail; pick a written one.
                std::size_t slot = offered.size() / 2;
                while (slot + 1 < offered.size() && LogRecord::isErased(offered[slot].data()))
                    ++slot;
                module.corruptRecord(std::uint32_t(slot), sim::Corruption::Once);
            }
            if (kind == Round::DropOff)
                module.dropOffAfterRecords(int(offered.size() / 3));
        }

        QElapsedTimer timer;
        timer.start();
        RetryCount retries;
        const OperationResult result =
            downloadLog(session, store, kind != Round::New, file, progress, progress, retries);
        const qint64 elapsed = timer.elapsed();

        QString verdict;
        if (kind == Round::DropOff) {
            if (result.reason() != OperationResult::Reason::Module || QFile::exists(file) ||
                QFile::exists(systemFile))
                verdict = QStringLiteral("a dropped module gave \"%1\"").arg(result.message());
            module.dropOffAfterRecords(-1);
            sim::plug();
            if (!reopened())
                verdict = QStringLiteral("the module was not opened again");
        } else {
            // A header and a line per measurement; the system file has its
            // header, a line per other record and the retries at the end.
            int measurements = 1, others = 2;
            for (const sim::Record &record : offered)
                ++(record[LogRecord::KindOffset] == LogRecord::Measurement ? measurements : others);
            const int gotMeasurements = lineCount(file), gotOthers = lineCount(systemFile);
            if (result.failed())
                verdict = QStringLiteral("\"%1\"").arg(result.message());
            else if (gotMeasurements != measurements || gotOthers != others)
                verdict = QStringLiteral("%1/%2 lines, expected %3/%4")
                              .arg(gotMeasurements)
                              .arg(gotOthers)
                              .arg(measurements)
                              .arg(others);
            else if (kind == Round::Corrupted && retries.count == 0)
                verdict = QStringLiteral("the corrupted record was not fetched again");
        }
        QCoreApplication::processEvents();
        // The simulated bus keeps every report the program sent for the
        // tests; that is the simulator's memory, not the program's.
        sim::clearWrittenReports();

        last = sample();
        maxRss = qMax(maxRss, last.rssKb);
        if (rounds == 0)
            warm = last;
        if (!verdict.isEmpty()) {
            ++failures;
            std::printf("round %d (%s) FAILED: %s\n", rounds, RoundNames[int(kind)],
                        qPrintable(verdict));
        } else if (rounds % 100 == 0) {
            std::printf("round %d (%s) %lld ms: rss %ld KB, fds %d, threads %ld\n", rounds,
                        RoundNames[int(kind)], static_cast<long long>(elapsed), last.rssKb,
                        last.fds, last.threads);
        }
        std::fflush(stdout);
        ++rounds;
    }
    port.stop();
    port.wait();
    std::printf("rounds %d in %lld s, failures %d\n", rounds,
                static_cast<long long>(total.elapsed() / 1000), failures);
    std::printf("rss start %ld KB, after round 0 %ld KB, end %ld KB, max %ld KB\n", first.rssKb,
                warm.rssKb, last.rssKb, maxRss);
    std::printf("open fds start %d, end %d; threads start %ld, end %ld\n", first.fds, last.fds,
                first.threads, last.threads);
    return failures == 0 ? 0 : 1;
}
