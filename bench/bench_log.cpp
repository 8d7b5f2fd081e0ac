// Measures the program against the simulated module and prints what it
// measured, as ratios where the bus sets a floor: start-up to a shown
// window, the configuration read, the log export of a full store, and a
// download of 4,096 records unpaced and paced as a full-speed device.

#include "app/talvik.h"
#include "app/windowprogress.h"
#include "log/logcsv.h"
#include "log/logrecord.h"
#include "log/logstore.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace
{

constexpr int DownloadRecords = 4096;
// At full speed one 64-byte report crosses the bus per millisecond each way;
// a record takes two.
constexpr double WireRecordsPerSecond = 500.0;
constexpr int BatchRecords = 128;

// What the kernel counts as this process's resident memory, in MB.
double residentMegabytes()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

bool waitConnected(Talvik &window)
{
    const bool connected =
        QTest::qWaitFor([&] { return window.statusBar()->currentMessage() == "Connected"; }, 3000);
    if (!connected)
        std::printf("the simulated module did not connect\n");
    return connected;
}

// The mean time between the end of one batch on the wire (its last report
// due, 256 frames after the request) and the next fetch request: what the
// program itself adds between batches.
double meanBatchGapMs()
{
    std::vector<sim::Clock::time_point> fetches;
    for (const sim::WrittenReport &written : sim::writtenReports())
        if (written.bytes.size() > 1 && written.bytes[1] == 0x04)
            fetches.push_back(written.time);
    if (fetches.size() < 2)
        return 0;
    double sum = 0;
    for (size_t i = 1; i < fetches.size(); ++i)
        sum += std::chrono::duration<double, std::milli>(fetches[i] - fetches[i - 1]).count() -
               2.0 * BatchRecords;
    return sum / double(fetches.size() - 1);
}

sim::LogOptions fullOptions()
{
    sim::LogOptions options;
    options.everyBlockCombination = true;
    return options;
}

// The "Retries" line of the system file and the number of records kept
// with a failed checksum in both files.
QString downloadSummary(const QString &file)
{
    QFile measurements(file);
    QFile system(LogRecord::systemFileName(file));
    if (!measurements.open(QIODevice::ReadOnly) || !system.open(QIODevice::ReadOnly))
        return QStringLiteral("no files");
    const QByteArray systemText = system.readAll();
    const QList<QByteArray> lines = systemText.trimmed().split('\n');
    const int marked =
        int(measurements.readAll().count(",CHECKSUM ERROR") + systemText.count(",CHECKSUM ERROR"));
    return QString("%1, %2 records marked")
        .arg(QString::fromUtf8(lines.last().trimmed()), QString::number(marked));
}

void benchExport(Talvik &window, const QString &folder)
{
    const std::vector<sim::Record> log =
        sim::generateLog(LogRecord::StoreCapacity, 1, fullOptions());
    for (int slot = 0; slot < LogRecord::StoreCapacity; ++slot) {
        std::copy(log[size_t(slot)].begin(), log[size_t(slot)].end(), LogStore[slot]);
        badChecksum[slot] = 0;
    }
    const QString file = folder + "/Full.csv";
    QElapsedTimer timer;
    timer.start();
    // The core's export under the window's progress window, as a download
    // runs it.
    WindowProgress progress(QStringLiteral("Processing Log Information..."), QString(),
                            WindowProgress::OnFinish::HideAndClose, &window);
    LogRecord::Columns all;
    all.soil = all.solvane = all.globeTemp1 = all.globeTemp2 = true;
    const int result =
        writeLogCsv(file, RecordStore::programWide(), LogRecord::StoreCapacity, 0, all, progress)
                .succeeded()
            ? 0
            : -1;
    const qint64 elapsed = timer.elapsed();
    const double megabytes =
        (QFileInfo(file).size() + QFileInfo(LogRecord::systemFileName(file)).size()) / 1e6;
    std::printf("export of a full store, %d records, all column groups: %lld ms, %.1f MB, "
                "%.0f MB/s (result %d)\n",
                LogRecord::StoreCapacity, static_cast<long long>(elapsed), megabytes,
                megabytes / (std::max<qint64>(elapsed, 1) / 1000.0), result);
}

void benchDownload(const QString &folder, const char *name, sim::Pacing pacing)
{
    sim::SimulatedModule &module = sim::freshModule();
    module.addRecords(sim::generateLog(DownloadRecords, 2));
    sim::setPacing(pacing);
    Talvik window;
    window.show();
    waitConnected(window);
    sim::clearWrittenReports();

    const QString file = folder + QString("/%1.csv").arg(name);
    DialogAnswerer answerer;
    answerer.chooseFile(file);
    answerer.pressButton(QMessageBox::Ok);
    QElapsedTimer timer;
    timer.start();
    window.findChild<QPushButton *>("ButtonDownloadFullLog")->click();
    const qint64 elapsed = std::max<qint64>(timer.elapsed(), 1);
    const QString verdict =
        answerer.messages().isEmpty() ? QString("no message") : answerer.messages().first().text;
    const double recordsPerSecond = DownloadRecords / (elapsed / 1000.0);
    const double floorMs = DownloadRecords * 1000.0 / WireRecordsPerSecond;
    std::printf("download of %d records, %s: %lld ms, %.0f records/s, %.2f x the wire rate, "
                "%.3f x the wire floor of %.0f ms (%s; %s)\n",
                DownloadRecords, name, static_cast<long long>(elapsed), recordsPerSecond,
                recordsPerSecond / WireRecordsPerSecond, elapsed / floorMs, floorMs,
                qPrintable(verdict), qPrintable(downloadSummary(file)));
    if (pacing == sim::Pacing::FullSpeed)
        std::printf("  gap between batches, paced: %.2f ms on average\n", meanBatchGapMs());
}

// The configuration read, paced: 52 requests (3 identity queries and 49
// items), each waiting for its reply.
void benchConfigurationRead()
{
    sim::freshModule();
    sim::setPacing(sim::Pacing::FullSpeed);
    Talvik window;
    window.show();
    waitConnected(window);
    sim::clearWrittenReports();
    DialogAnswerer answerer;
    answerer.pressButton(QMessageBox::Ok);
    QElapsedTimer timer;
    timer.start();
    window.findChild<QPushButton *>("ButtonRead")->click();
    const qint64 elapsed = timer.elapsed();
    const size_t requests = sim::writtenReports().size();
    // A reply is due in the frame after its request, and the next request
    // can go in that frame: one frame per round trip.
    std::printf("configuration read, paced: %lld ms for %zu round trips, %.2f ms each, "
                "%.2f x the floor of one frame each\n",
                static_cast<long long>(elapsed), requests,
                requests ? double(elapsed) / double(requests) : 0.0,
                requests ? double(elapsed) / double(requests) : 0.0);
}

} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "default.debug=false;qt.qpa.*=false");
    QApplication application(argc, argv);
    // The user's own SetTime preference must not change what is measured.
    testenv::isolateSettings();
    QTemporaryDir folder;
    // "--export" measures the export alone, e.g. under
    //   valgrind --tool=callgrind --toggle-collect='writeLogCsv*'
    if (application.arguments().contains("--export")) {
        sim::reset();
        Talvik window;
        benchExport(window, folder.path());
        sim::reset();
        return 0;
    }

    {
        sim::reset();
        Talvik window;
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            std::printf("the window was not shown\n");
        std::printf("from main() to a shown window: %lld ms, %.1f MB resident then\n",
                    static_cast<long long>(sinceStart.elapsed()), residentMegabytes());
    }
    benchConfigurationRead();
    {
        sim::reset();
        Talvik window;
        benchExport(window, folder.path());
    }
    benchDownload(folder.path(), "unpaced", sim::Pacing::Unpaced);
    benchDownload(folder.path(), "paced as a full-speed device", sim::Pacing::FullSpeed);
    sim::reset();
    std::fflush(stdout);
    return 0;
}
