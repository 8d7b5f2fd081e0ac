// Renders every page of the main window to PNG files, the way a technician
// sees them with a module connected, so changes to the form can be looked at,
// the log viewer on a few weeks of a station's log, and the stations board
// of a small network.
#include "app/logviewer.h"
#include "app/startup.h"
#include "app/stationsboard.h"
#include "app/talvik.h"
#include "archive/archivedatabase.h"
#include "archive/archivelocation.h"
#include "archive/ingest.h"
#include "archive/visitrecord.h"
#include "core/operationprogress.h"
#include "log/logcsv.h"
#include "log/logstore.h"
#include "sim/logrecords.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <memory>

namespace
{

// Four weeks of ten-minute records with boots, clock updates and an error
// between, written as a download writes them; the viewer plots temperature
// and humidity.
int grabLogViewer(const QString &name)
{
    const int count = 4 * 7 * 24 * 6;
    sim::LogOptions options;
    options.start = sim::LogTime{2026, 11, 9, 0, 0, 0};
    options.intervalSeconds = 600;
    options.soil = true;
    options.globe2 = true;
    options.firstIndex = 18000;
    const std::vector<sim::Record> log = sim::generateLog(count, 2024, options);
    for (int slot = 0; slot < count; ++slot) {
        std::copy(log[size_t(slot)].begin(), log[size_t(slot)].end(), LogStore[slot]);
        badChecksum[slot] = 0;
    }
    QTemporaryDir folder;
    const QString file = folder.path() + "/Log 2026-12-07 09-12.csv";
    LogRecord::Columns columns;
    columns.soil = columns.globeTemp2 = true;
    NoProgress progress;
    if (!writeLogCsv(file, RecordStore::programWide(), count, 0, columns, progress).succeeded())
        return -1;

    LogViewer viewer;
    viewer.resize(1280, 800);
    viewer.show();
    if (viewer.openLog(file) != 0)
        return -1;
    auto *columnList = viewer.findChild<QTreeWidget *>("ColumnList");
    // The columns, not their groups of the same names.
    for (const QString &title : {QString("Temperature"), QString("Humidity")}) {
        for (QTreeWidgetItem *item :
             columnList->findItems(title, Qt::MatchExactly | Qt::MatchRecursive)) {
            if (item->childCount() == 0)
                item->setCheckState(0, Qt::Checked);
        }
    }
    QTest::qWait(100);
    return viewer.grab().save(name) ? 0 : -1;
}

// A demo network of five stations collected daily, with their records
// through the archive's own ingest: one on time and visited, one late, one
// missing, one downloaded once, and one whose battery runs down.
int grabStationsBoard(const QString &name)
{
    QTemporaryDir folder;
    const QString path = folder.path() + "/network.sqlite";
    std::unique_ptr<archive::Database> database;
    if (archive::Database::openLocal(path, database).failed())
        return -1;
    const qint64 day = 86400000;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const struct {
        quint32 serial;
        const char *id;
        int downloads;
        int daysSinceLast;
        int batteryFallMillivoltsPerDay;
    } stations[] = {{20471, "Ridge North", 12, 0, 0},
                    {20480, "Harbour Mole", 10, 3, 0},
                    {20502, "Pass Road", 8, 9, 0},
                    {20515, "Valley Farm", 1, 1, 0},
                    {20533, "Lake Shore", 14, 1, 120}};
    const int perDay = 24 * 6;
    for (const auto &station : stations) {
        const qint64 last = now - station.daysSinceLast * day;
        const QDateTime start =
            QDateTime::fromMSecsSinceEpoch(last - station.downloads * day, Qt::UTC);
        sim::LogOptions options;
        options.start = {start.date().year(),
                         start.date().month(),
                         start.date().day(),
                         start.time().hour(),
                         0,
                         0};
        options.firstIndex = station.serial;
        std::vector<sim::Record> log =
            sim::generateLog(station.downloads * perDay, station.serial, options);
        for (size_t i = 0; i < log.size(); ++i)
            if (log[i][LogRecord::KindOffset] == LogRecord::Measurement &&
                station.batteryFallMillivoltsPerDay > 0) {
                const int millivolts =
                    12900 - int(i) * station.batteryFallMillivoltsPerDay / perDay;
                log[i][75] = quint8(millivolts >> 8);
                log[i][76] = quint8(millivolts);
                sim::sealRecord(log[i]);
            }
        for (int d = 0; d < station.downloads; ++d) {
            OwnRecordStore own{quint32(perDay)};
            for (int slot = 0; slot < perDay; ++slot) {
                std::copy(log[size_t(d * perDay + slot)].begin(),
                          log[size_t(d * perDay + slot)].end(), own.store().records[slot]);
                own.store().badChecksum[slot] = 0;
            }
            archive::DownloadFacts facts;
            facts.serial = station.serial;
            facts.stationId = station.id;
            facts.downloadedAt = last - (station.downloads - 1 - d) * day;
            facts.full = false;
            facts.recordCount = quint32(perDay);
            archive::IngestSummary summary;
            if (archive::archiveDownload(*database, facts, own.store(), summary).failed())
                return -1;
        }
    }
    archive::VisitFacts visit = archive::visitFactsFor(20471, "Ridge North", "talvik", false);
    visit.startedAt = now - 2 * 3600000;
    visit.host = "field-laptop";
    visit.user = "ana";
    qint64 visitId = 0;
    if (archive::startVisit(*database, visit, visitId).failed())
        return -1;
    database.reset();

    StationsBoard board(path, nullptr);
    board.resize(1700, 330);
    board.show();
    if (!QTest::qWaitFor([&] { return !board.reading(); }, 30000))
        return -1;
    QTest::qWait(100);
    return board.grab().save(name) ? 0 : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication application(argc, argv);
    useApplicationFont();

    const QString folder =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);

    // A simulated module's station belongs in the demo's archive.
    archive::useDemoArchive();
    // A module that answers, so the station shows at the right of the status bar.
    sim::freshModule();
    Talvik window;
    window.show();
    if (!QTest::qWaitFor([&] { return window.statusBar()->currentMessage() == "Connected"; }, 3000))
        fprintf(stderr, "the simulated module did not connect\n");
    // The form as a technician sees it after Read Module Configuration, whose
    // message box is answered as soon as it shows.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->accept();
    });
    answer.start(50);
    window.findChild<QPushButton *>("ButtonRead")->click();
    answer.stop();

    auto *pages = window.findChild<QTabWidget *>("TabWidget");
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        QTest::qWait(50);
        const QString name = QString("%1/page%2-%3.png")
                                 .arg(folder)
                                 .arg(page)
                                 .arg(pages->widget(page)->objectName());
        window.grab().save(name);
        printf("%s\n", qPrintable(name));
    }
    // The metainfo's screenshots: the first page, and the viewer.
    pages->setCurrentIndex(0);
    QTest::qWait(50);
    const QString main = folder + "/main-window.png";
    window.grab().save(main);
    printf("%s\n", qPrintable(main));
    const QString viewer = folder + "/log-viewer.png";
    if (grabLogViewer(viewer) != 0) {
        fprintf(stderr, "the log viewer could not be rendered\n");
        return 1;
    }
    printf("%s\n", qPrintable(viewer));
    const QString board = folder + "/stations-board.png";
    if (grabStationsBoard(board) != 0) {
        fprintf(stderr, "the stations board could not be rendered\n");
        return 1;
    }
    printf("%s\n", qPrintable(board));
    return 0;
}
