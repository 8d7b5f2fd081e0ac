// Measures the log export of a full store and a download of 4,096 records
// from the simulated module, and prints what it measured.

#include "app/talvik.h"
#include "log/logrecord.h"
#include "log/logstore.h"
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
#include <cstdio>

namespace
{

constexpr int DownloadRecords = 4096;

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
    const int result =
        window.writeLogCsv(file, LogRecord::StoreCapacity, 0, true, true, true, true);
    const qint64 elapsed = timer.elapsed();
    std::printf("writeLogCsv, %d records, all column groups: %lld ms (result %d; %.1f MB "
                "measurements, %.1f MB system)\n",
                LogRecord::StoreCapacity, static_cast<long long>(elapsed), result,
                QFileInfo(file).size() / 1e6,
                QFileInfo(LogRecord::systemFileName(file)).size() / 1e6);
}

void benchDownload(const QString &folder, const char *name, sim::Pacing pacing)
{
    sim::SimulatedModule &module = sim::freshModule();
    module.addRecords(sim::generateLog(DownloadRecords, 2));
    sim::setPacing(pacing);
    Talvik window;
    window.show();
    if (!QTest::qWaitFor([&] { return window.statusBar()->currentMessage() == "Connected"; }, 3000))
        std::printf("the simulated module did not connect\n");

    const QString file = folder + QString("/%1.csv").arg(name);
    DialogAnswerer answerer;
    answerer.chooseFile(file);
    answerer.pressButton(QMessageBox::Ok);
    QElapsedTimer timer;
    timer.start();
    window.findChild<QPushButton *>("ButtonDownloadFullLog")->click();
    const qint64 elapsed = timer.elapsed();
    const QString verdict =
        answerer.messages().isEmpty() ? QString("no message") : answerer.messages().first().text;
    std::printf("download of %d records, %s: %lld ms (%s; %s)\n", DownloadRecords, name,
                static_cast<long long>(elapsed), qPrintable(verdict),
                qPrintable(downloadSummary(file)));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "default.debug=false;qt.qpa.*=false");
    QApplication application(argc, argv);
    // The user's own SetTime preference must not change what is measured.
    testenv::isolateSettings();
    QTemporaryDir folder;

    {
        sim::reset();
        Talvik window;
        benchExport(window, folder.path());
    }
    benchDownload(folder.path(), "unpaced", sim::Pacing::Unpaced);
    benchDownload(folder.path(), "paced as a full-speed device", sim::Pacing::FullSpeed);
    std::printf("wire alone at full speed: %d records x 2 reports x 1 ms = %d ms\n",
                DownloadRecords, DownloadRecords * 2);
    sim::reset();
    std::fflush(stdout);
    return 0;
}
