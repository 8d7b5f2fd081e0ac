// Tools > View Log on the window: where the menu sits, which files the
// viewer opens first, and what it shows of them.
#include "app/logplot.h"
#include "app/logviewer.h"
#include "app/talvik.h"
#include "sim/simulatedmodule.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"

#include <QDir>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

class LogViewerTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Talvik> window;
    QString folder;

    QAction *viewLogAction() { return window->findChild<QAction *>("actionViewLog"); }

private slots:
    void initTestCase() { testenv::isolateSettings(); }

    void init()
    {
        static int test = 0;
        folder = testenv::scratchDirectory() + QString("/viewer%1").arg(++test);
        QDir().mkpath(folder);
        sim::SimulatedModule &module = sim::freshModule();
        sim::LogOptions options;
        options.soil = true;
        module.addRecords(sim::generateLog(600, 3, options));
        window = testenv::openConnectedWindow();
        QVERIFY(window != nullptr);
    }

    void cleanup()
    {
        window.reset();
        sim::reset();
    }

    void toolsMenuSitsBetweenFileAndHelp()
    {
        QStringList menus;
        for (QAction *action : window->menuBar()->actions())
            menus << action->text();
        QCOMPARE(menus, (QStringList{"File", "Tools", "Help"}));
        QStringList file;
        for (QAction *action : window->menuBar()->actions()[0]->menu()->actions())
            file << action->text();
        QCOMPARE(file.filter(QRegularExpression(".")), (QStringList{"About", "Exit"}));
        QCOMPARE(viewLogAction()->text(), QString("View Log…"));
    }

    // Without a download it asks for a file; after one it opens that
    // download's files at once and shows plots and the health list.
    void viewerOpensTheLastDownloadFirst()
    {
        DialogAnswerer answerer;
        answerer.chooseFile(QString());
        viewLogAction()->trigger();
        QCOMPARE(answerer.seen().size(), 1);
        QCOMPARE(answerer.seen()[0].kind, QString("file"));
        auto *viewer = window->findChild<LogViewer *>();
        QVERIFY(viewer != nullptr && !viewer->hasLog());

        const QString latest = folder + "/latest.csv";
        answerer.chooseFile(latest);
        answerer.pressButton(QMessageBox::Ok);
        window->findChild<QPushButton *>("ButtonDownloadFullLog")->click();
        QVERIFY(QFile::exists(latest));

        viewLogAction()->trigger();
        QCOMPARE(window->findChildren<LogViewer *>().size(), 1);
        QVERIFY(viewer->isVisible());
        QCOMPARE(answerer.seen().size(), 3);
        QCOMPARE(answerer.unexpected(), 0);
        QCOMPARE(viewer->report().fileName, latest);

        auto *plot = viewer->findChild<LogPlot *>();
        QCOMPARE(plot->graphCount(), 1);
        QCOMPARE(plot->graph(0)->name(), QString("Temperature"));
        QVERIFY(plot->graph(0)->dataCount() > 500);
        auto *columns = viewer->findChild<QTreeWidget *>("ColumnList");
        QStringList groups;
        for (int g = 0; g < columns->topLevelItemCount(); ++g)
            groups << columns->topLevelItem(g)->text(0);
        QCOMPARE(groups,
                 (QStringList{"Temperature", "Humidity", "Pressure", "Wind", "Rain",
                              "Analog channels", "Soil", "Battery and module", "Lightning"}));
        QFile file(latest);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const int headerColumns = file.readLine().count(',') + 1;
        QCOMPARE(viewer->findChild<QTableWidget *>("SummaryTable")->rowCount(), headerColumns - 2);
        // A marker's text shows where its line crosses the time axis.
        QVERIFY(!plot->markers().empty());
        const LogPlot::Marker &marker = plot->markers().front();
        QCOMPARE(
            plot->markerTextAt(int(plot->xAxis->coordToPixel(marker.time))).split('\n').first(),
            marker.text);

        const QString picture = qEnvironmentVariable("TALVIK_VIEWER_PNG");
        if (!picture.isEmpty()) {
            viewer->resize(1400, 860);
            auto *list = viewer->findChild<QTreeWidget *>("ColumnList");
            list->topLevelItem(3)->child(0)->setCheckState(0, Qt::Checked);
            QTest::qWait(50);
            QVERIFY(viewer->grab().save(picture));
        }
    }
};

QTEST_MAIN(LogViewerTest)
#include "tst_logviewer.moc"
