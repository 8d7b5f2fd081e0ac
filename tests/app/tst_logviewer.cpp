// Tools > View Log on the window: where the menu sits, which files the
// viewer opens first, and what it shows of them.
#include "app/logplot.h"
#include "app/logviewer.h"
#include "app/talvik.h"
#include "log/logrecord.h"
#include "sim/simulatedmodule.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"

#include <QDir>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <sys/stat.h>

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

    // "and 3 more" under a finding opens every one of them; a FIFO chosen as
    // the log is refused at once and the log shown stays.
    void moreOpensTheWholeListAndAFifoIsRefused()
    {
        const QString file = folder + "/errors.csv";
        QFile measurements(file);
        QVERIFY(measurements.open(QIODevice::WriteOnly));
        measurements.write(LogRecord::measurementHeader({}).toUtf8() +
                           "\r\n1,2024-03-01 10:00:00," + QByteArray("1,").repeated(28) + "\r\n");
        measurements.close();
        QFile system(LogRecord::systemFileName(file));
        QVERIFY(system.open(QIODevice::WriteOnly));
        system.write(LogRecord::systemHeader().toUtf8() + "\r\n");
        for (int e = 0; e < 8; ++e)
            system.write(QString("%1,2024-03-01 10:0%1:00,Error,3,Sensor %1\r\n").arg(e).toUtf8());
        system.write("Retries 0\r\n");
        system.close();

        LogViewer viewer;
        viewer.resize(1200, 760);
        viewer.show();
        QCOMPARE(viewer.openLog(file), 0);
        auto *findings = viewer.findChild<QTreeWidget *>("FindingList");
        QTreeWidgetItem *errors = findings->findItems("Error records", Qt::MatchExactly).value(0);
        QVERIFY(errors != nullptr);
        QCOMPARE(errors->childCount(), HealthCheck::limits().timesListed + 1);
        QTreeWidgetItem *more = errors->child(errors->childCount() - 1);
        QCOMPARE(more->text(0), QString("and 3 more"));
        findings->scrollToItem(more);
        QTest::mouseClick(findings->viewport(), Qt::LeftButton, {},
                          findings->visualItemRect(more).center());
        auto *list = viewer.findChild<QListWidget *>("FindingDetailList");
        QVERIFY(list != nullptr && list->isVisible());
        QCOMPARE(list->count(), 8);
        QCOMPARE(list->item(7)->text(), QString("2024-03-01 10:07:00: Error, 3, Sensor 7"));

        const QString picture = qEnvironmentVariable("TALVIK_VIEWER_MORE_PNG");
        if (!picture.isEmpty())
            QVERIFY(viewer.grab().save(picture) &&
                    list->window()->grab().save(picture + "-list.png"));

        QTemporaryDir dir;
        const QString fifo = dir.filePath("fifo.csv");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        DialogAnswerer answerer;
        answerer.pressButton(QMessageBox::Ok);
        QCOMPARE(viewer.openLog(fifo), -1);
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY2(answerer.seen()[0].text.contains("fifo.csv is a FIFO"),
                 qPrintable(answerer.seen()[0].text));
        QCOMPARE(viewer.report().fileName, file);
    }
};

QTEST_MAIN(LogViewerTest)
#include "tst_logviewer.moc"
