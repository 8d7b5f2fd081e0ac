// A station's history from a real archive file in the log viewer: picking
// the station and the range, the units on its axes, the gaps, what it
// remembers, and the flags file of an export.
#include "app/logplot.h"
#include "app/logviewer.h"
#include "archive/archivedatabase.h"
#include "archive/configurationrecord.h"
#include "archive/ingest.h"
#include "archive/stationhistory.h"
#include "cli/commandline.h"
#include "cli/console.h"
#include "log/logstore.h"
#include "sim/logrecords.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"

#include <QBuffer>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTextStream>
#include <QTreeWidget>

#include <cmath>
#include <cstring>

namespace
{

constexpr quint32 Ridge = 20471;
constexpr quint32 Valley = 20480;
constexpr qint64 Day = 86400;

qint64 utc(int month, int day)
{
    return QDateTime(QDate(2024, month, day), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
}

// The checked columns of the viewer's list, by title.
void check(LogViewer &viewer, const QStringList &titles)
{
    auto *list = viewer.findChild<QTreeWidget *>("ColumnList");
    for (int g = 0; g < list->topLevelItemCount(); ++g)
        for (int i = 0; i < list->topLevelItem(g)->childCount(); ++i) {
            QTreeWidgetItem *item = list->topLevelItem(g)->child(i);
            item->setCheckState(0, titles.contains(item->text(0)) ? Qt::Checked : Qt::Unchecked);
        }
}

QStringList axisLabels(LogPlot *plot)
{
    QStringList labels;
    for (int p = 0; p < plot->panelCount(); ++p)
        labels << plot->valueAxis(p)->label();
    return labels;
}

} // namespace

class HistoryViewerTest : public QObject
{
    Q_OBJECT

    QString archiveFile;
    std::vector<sim::Record> log;

private slots:
    void initTestCase()
    {
        testenv::isolateSettings();
        archiveFile = testenv::scratchDirectory() + "/history.sqlite";
        std::unique_ptr<archive::Database> database;
        QVERIFY(archive::Database::openLocal(archiveFile, database).succeeded());
        // Two weeks of 10-minute records from 2024-03-01, without the fifty
        // records of a gap in the middle, in two downloads.
        sim::LogOptions options;
        options.events = false;
        log = sim::generateLog(2000, 5, options);
        OwnRecordStore own(2000);
        const RecordStore store = own.store();
        quint32 count = 0;
        for (size_t i = 0; i < log.size(); ++i)
            if (i < 1000 || i >= 1050) {
                std::memcpy(store.records[count], log[i].data(), LogRecord::Size);
                store.badChecksum[count++] = 0;
            }
        for (const auto &[serial, name] : {std::pair{Ridge, "Ridge North"}, {Valley, "Valley"}}) {
            archive::DownloadFacts facts;
            facts.serial = serial;
            facts.stationId = name;
            facts.downloadedAt = 1710000000000;
            facts.recordCount = serial == Ridge ? count : 300;
            archive::IngestSummary summary;
            QVERIFY(archive::archiveDownload(*database, facts, store, summary).succeeded());
        }
        // Ridge North logged °F until a visit on 8 March set it to °C.
        config::Configuration settings = config::Configuration::freshForm();
        settings.setValue("TempUnits", "1");
        settings.setValue("PressUnits", "3");
        settings.setValue("RainType", "1");
        archive::ConfigurationFacts facts;
        facts.serial = Ridge;
        facts.program = "talvik";
        facts.recordedAt = utc(2, 1) * 1000;
        QVERIFY(archive::recordConfiguration(*database, facts, settings).succeeded());
        settings.setValue("TempUnits", "0");
        facts.recordedAt = utc(3, 8) * 1000;
        QVERIFY(archive::recordConfiguration(*database, facts, settings).succeeded());
    }

    void init() { qputenv("TALVIK_ARCHIVE", archiveFile.toLocal8Bit()); }
    void cleanup() { qputenv("TALVIK_ARCHIVE", "off"); }

    // The station list names both stations; the one picked opens whole,
    // "Last week" reads only its last seven days, and the axes name the
    // quantity and the unit the configurations give.
    void aStationPickedFromTheListOpensWithItsRangeAndUnits()
    {
        LogViewer viewer;
        viewer.resize(1400, 900);
        viewer.show();
        viewer.chooseStation();
        auto *dialog = viewer.findChild<QDialog *>("StationDialog");
        QVERIFY(dialog != nullptr && dialog->isVisible());
        auto *list = dialog->findChild<QTreeWidget *>("StationList");
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(0)->text(0), QString("Ridge North"));
        QCOMPARE(list->topLevelItem(0)->text(1), QString("20471"));
        QCOMPARE(list->topLevelItem(0)->text(2), QString("1950"));
        QCOMPARE(list->topLevelItem(1)->text(0), QString("Valley"));
        list->setCurrentItem(list->topLevelItem(0));
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Open)->click();
        QCOMPARE(viewer.station(), Ridge);
        QVERIFY(viewer.hasLog());
        QTRY_VERIFY(!viewer.checking());
        QVERIFY(!viewer.report().findings.empty());

        LogPlot *plot = viewer.logPlot();
        const qint64 newest = utc(3, 1) + 1999 * 600;
        QCOMPARE(plot->timeRange().lower, double(utc(3, 1)));
        QCOMPARE(plot->timeRange().upper, double(newest));
        // The line breaks in the gap: a point without a value lies in it.
        bool broken = false;
        for (auto it = plot->graph(0)->data()->constBegin();
             it != plot->graph(0)->data()->constEnd(); ++it)
            broken = broken || (std::isnan(it->value) && it->key > utc(3, 1) + 999 * 600 &&
                                it->key < utc(3, 1) + 1050 * 600);
        QVERIFY(broken);

        check(viewer, {"Temperature", "Humidity", "Pressure", "Wind", "Rain Day", "Battery Voltage",
                       "Lightning Strikes"});
        QCOMPARE(axisLabels(plot),
                 (QStringList{"Temperature\n(°F, then °C)", "Humidity\n(%)", "Pressure\n(hPa)",
                              "Wind speed\n(m/s)", "Rain\n(mm)", "Voltage\n(V)",
                              "Lightning\n(unit not recorded)"}));
        // Drawn, each panel has room and its label is on screen.
        QVERIFY(!viewer.grab().isNull());
        for (int p = 0; p < plot->panelCount(); ++p) {
            QVERIFY(plot->valueAxis(p)->axisRect()->height() > 20);
            QVERIFY(plot->valueAxis(p)->visible());
        }
        // Saved as vectors: the file's text carries the axes' units.
        {
            DialogAnswerer answerer;
            const QString svg = testenv::scratchDirectory() + "/history.svg";
            answerer.chooseFile(svg);
            for (QPushButton *button : viewer.findChildren<QPushButton *>())
                if (button->text() == "Save Plot...")
                    button->click();
            QFile saved(svg);
            QVERIFY(saved.open(QIODevice::ReadOnly));
            const QByteArray text = saved.readAll();
            QVERIFY(text.startsWith("<?xml") && text.contains("hPa"));
        }
        const QString picture = qEnvironmentVariable("TALVIK_HISTORY_PNG");
        if (!picture.isEmpty())
            QVERIFY(viewer.grab().save(picture));

        auto *span = viewer.findChild<QComboBox *>("ComboBoxSpan");
        span->setCurrentIndex(1);
        emit span->activated(1);
        QTRY_VERIFY(!viewer.checking());
        // Seven days of 10-minute records and the one at their start, less
        // the fifty of the gap.
        QCOMPARE(viewer.report().measurements, 7 * 144 + 1 - 50);
        QCOMPARE(plot->timeRange().lower, double(newest - 7 * Day));
        // After the visit only °C is in view.
        plot->showRange(double(utc(3, 9)), double(newest));
        QCOMPARE(axisLabels(plot).first(), QString("Temperature\n(°C)"));
    }

    // The columns and the span chosen for a station come back with it; a
    // station the archive does not hold is refused.
    void aStationOpensAsItWasLeft()
    {
        {
            LogViewer viewer;
            const archive::Span month = archive::Span::Month;
            QCOMPARE(viewer.openStation(Valley, &month), 0);
            check(viewer, {"Pressure", "Gust"});
        }
        LogViewer viewer;
        QCOMPARE(viewer.openStation(Valley), 0);
        QCOMPARE(viewer.findChild<QComboBox *>("ComboBoxSpan")->currentIndex(), 2);
        QStringList shown;
        for (int p = 0; p < viewer.logPlot()->panelCount(); ++p)
            shown << viewer.logPlot()->panelName(p);
        QCOMPARE(shown, (QStringList{"Pressure", "Wind speed"}));
    }

    // An export with --flags writes the third file beside the two, one flag
    // line for each measurement line.
    void exportWithFlagsWritesTheFlagsFile()
    {
        const QString out = testenv::scratchDirectory() + "/ridge.csv";
        QByteArray outBytes, errBytes;
        QBuffer outBuffer(&outBytes), errBuffer(&errBytes);
        outBuffer.open(QIODevice::WriteOnly);
        errBuffer.open(QIODevice::WriteOnly);
        QTextStream outStream(&outBuffer), errStream(&errBuffer);
        cli::Console console{outStream, errStream, false};
        QCOMPARE(cli::run({"archive", "export", "--station", "20471", "--flags", "-o", out,
                           "--archive", archiveFile},
                          console),
                 0);
        outStream.flush();
        QVERIFY2(outBytes.endsWith("ridge-flags.csv\n"), outBytes.constData());
        QFile measurements(out), flags(testenv::scratchDirectory() + "/ridge-flags.csv");
        QVERIFY(measurements.open(QIODevice::ReadOnly) && flags.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = measurements.readAll().split('\n');
        const QList<QByteArray> flagLines = flags.readAll().split('\n');
        QCOMPARE(flagLines.size(), lines.size());
        QCOMPARE(flagLines[0], QByteArray("Index,Date/Time (UTC),Wind,Direction,Wind 2 min,"
                                          "Direction 2 min,Wind 10 min,Direction 10 min,Gust,"
                                          "Gust Direction,Temperature,Humidity,Pressure,"
                                          "Pressure Temperature,Battery Voltage,Input Voltage\r"));
        // Each flag line starts as its measurement line: Index and time.
        for (int i = 1; i + 1 < lines.size(); i += 97)
            QCOMPARE(flagLines[i].split(',').mid(0, 2), lines[i].split(',').mid(0, 2));
    }
};

QTEST_MAIN(HistoryViewerTest)
#include "tst_historyviewer.moc"
