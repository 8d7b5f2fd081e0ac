// A technician's visit through the window on the simulated module, as the
// archive keeps it, as its report says it and as talvik-cli lists it.
#include "app/talvik.h"
#include "archive/archivedatabase.h"
#include "archive/visitpdf.h"
#include "archive/visitrecord.h"
#include "archive/visitreport.h"
#include "cli/commandline.h"
#include "sim/logrecords.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <memory>

namespace
{
QStringList actionNames(const archive::Visit &visit)
{
    QStringList names;
    for (const archive::VisitAction &action : visit.actions)
        names << action.name;
    return names;
}

const archive::VisitAction *findAction(const archive::Visit &visit, const QString &name)
{
    for (const archive::VisitAction &action : visit.actions)
        if (action.name == name)
            return &action;
    return nullptr;
}

QString pdfText(const QString &path)
{
    QProcess reader;
    reader.start(QStandardPaths::findExecutable("pdftotext"), {"-layout", path, "-"});
    if (!reader.waitForFinished(30000))
        return QString();
    return QString::fromUtf8(reader.readAllStandardOutput());
}

QString cliOutput(const QStringList &arguments, int &code)
{
    QByteArray bytes;
    QByteArray errors;
    QBuffer outBuffer(&bytes);
    QBuffer errBuffer(&errors);
    outBuffer.open(QIODevice::WriteOnly);
    errBuffer.open(QIODevice::WriteOnly);
    QTextStream out(&outBuffer);
    QTextStream err(&errBuffer);
    cli::Console console{out, err, false};
    code = cli::run(arguments, console);
    out.flush();
    return QString::fromUtf8(bytes);
}
} // namespace

class VisitTest : public QObject
{
    Q_OBJECT

    QString archiveFile;

private slots:
    void initTestCase()
    {
        testenv::isolateSettings();
        archiveFile = testenv::scratchDirectory() + "/archive.sqlite";
        qputenv("TALVIK_ARCHIVE", archiveFile.toLocal8Bit());
        QVERIFY2(!QStandardPaths::findExecutable("pdftotext").isEmpty(),
                 "pdftotext (poppler-utils) reads the report back; tools/setup installs it");
    }

    void aVisitKeepsWhatWasDoneAndItsReportSaysIt()
    {
        sim::SimulatedModule &module = sim::freshModule(false);
        sim::LogOptions quiet;
        quiet.events = false;
        module.addRecords(sim::generateLog(40, 5, quiet));
        sim::plug();
        Talvik window;
        window.show();
        QVERIFY(testenv::waitForStatus(window, "Connected"));
        QTRY_COMPARE(window.findChild<QLabel *>("LabelStation")->text(),
                     QString("Ridge North, serial 20471"));

        DialogAnswerer answerer;
        answerer.pressButton(QMessageBox::Ok);
        window.findChild<QPushButton *>("ButtonRead")->click();
        QTRY_VERIFY(answerer.messages().size() == 1);

        window.findChild<QLineEdit *>("LineEditID")->setText("Ridge South");
        answerer.pressButton(QMessageBox::Ok);
        answerer.pressButton(QMessageBox::Ok);
        window.findChild<QPushButton *>("ButtonWrite")->click();
        QTRY_VERIFY(answerer.messages().size() == 3);

        // Ticking the box sets the clock now; the module logs the update.
        window.findChild<QCheckBox *>("CheckBoxSetTime")->setChecked(true);
        module.addRecord(sim::makeClockUpdateRecord(40, sim::LogTime{2024, 3, 1, 6, 40, 0},
                                                    sim::LogTime{2024, 3, 1, 6, 42, 5}, 0));

        answerer.chooseFile(testenv::scratchDirectory() + "/Visit.csv");
        answerer.pressButton(QMessageBox::Ok);
        window.findChild<QPushButton *>("ButtonDownloadFullLog")->click();
        QTRY_VERIFY(answerer.messages().size() == 4);

        const QString note = "replaced humidity sensor, serial HS-2231";
        answerer.enterText(note);
        window.findChild<QAction *>("actionVisitNote")->trigger();

        std::unique_ptr<archive::Database> database;
        QVERIFY(archive::Database::openLocal(archiveFile, database).succeeded());
        std::vector<archive::Visit> visits;
        QVERIFY(archive::listVisits(*database, 20471, visits).succeeded());
        QCOMPARE(visits.size(), size_t(1));
        const archive::Visit &visit = visits[0];
        QVERIFY(!visit.facts.collection);
        QCOMPARE(visit.facts.idText, QString("Ridge North"));
        QCOMPARE(actionNames(visit),
                 (QStringList{"configuration-read", "configuration-written", "clock-set",
                              "download", "clock-update", "findings", "note"}));
        for (const archive::VisitAction &action : visit.actions)
            QVERIFY2(action.failure.isEmpty(), qPrintable(action.failure));

        // One change, against what the Read found; no password anywhere.
        const archive::VisitAction *written = findAction(visit, "configuration-written");
        QCOMPARE(archive::configurationChanges(*written),
                 QStringList{"ID: Ridge North → Ridge South"});
        QVERIFY(!written->details.value("values").toObject().contains("WUPass"));
        const archive::VisitAction *update = findAction(visit, "clock-update");
        QCOMPARE(update->details.value("differenceSeconds").toInt(), 125);
        const archive::VisitAction *download = findAction(visit, "download");
        QCOMPARE(download->details.value("records").toInt(), 41);
        QCOMPARE(download->details.value("newToArchive").toInt(), 41);

        // The report as a technician leaves it behind.
        const QString pdf = testenv::scratchDirectory() + "/visit.pdf";
        QVERIFY(writeVisitReport(archive::visitReportHtml(visit), pdf).succeeded());
        const QString text = pdfText(pdf).simplified();
        QVERIFY2(text.contains("Ridge North, serial 20471"), qPrintable(text));
        QVERIFY(text.contains("ID: Ridge North → Ridge South"));
        QVERIFY(text.contains(note));

        // talvik-cli lists the same visit, with its id for the report.
        int code = -1;
        const QString listed = cliOutput(
            {"archive", "visits", "--station", "20471", "--json", "--archive", archiveFile}, code);
        QCOMPARE(code, 0);
        const QJsonArray listedVisits =
            QJsonDocument::fromJson(listed.toUtf8()).object().value("visits").toArray();
        QCOMPARE(listedVisits.size(), 1);
        QCOMPARE(listedVisits[0].toObject().value("id").toInt(), int(visit.id));
        QCOMPARE(listedVisits[0].toObject().value("actions").toArray().size(), 7);
    }

    // A reconnection of the same module continues its visit; another module
    // starts one of its own; with the archive off nothing is kept.
    void reconnectionsAnotherModuleAndTheArchiveOff()
    {
        sim::SimulatedModule &module = sim::freshModule(false);
        sim::plug();
        auto window = std::make_unique<Talvik>();
        window->show();
        QVERIFY(testenv::waitForStatus(*window, "Connected"));
        QTRY_VERIFY(!window->findChild<QLabel *>("LabelStation")->text().isEmpty());
        sim::unplug();
        QVERIFY(testenv::waitForStatus(*window, "Disconnected"));
        sim::plug();
        QVERIFY(testenv::waitForStatus(*window, "Connected"));
        sim::unplug();
        QVERIFY(testenv::waitForStatus(*window, "Disconnected"));
        module.setSerialNumber(555);
        sim::plug();
        QVERIFY(testenv::waitForStatus(*window, "Connected"));
        QTRY_COMPARE(window->findChild<QLabel *>("LabelStation")->text(),
                     QString("Ridge North, serial 555"));

        std::unique_ptr<archive::Database> database;
        QVERIFY(archive::Database::openLocal(archiveFile, database).succeeded());
        std::vector<archive::Visit> first, second;
        QVERIFY(archive::listVisits(*database, 20471, first).succeeded());
        QVERIFY(archive::listVisits(*database, 555, second).succeeded());
        QCOMPARE(first.size(), size_t(2)); // the test above and this one
        // The clock box is still ticked from the test above: each connection
        // sets the clock, and the reconnection is noted between.
        QCOMPARE(actionNames(first.back()), (QStringList{"clock-set", "connected", "clock-set"}));
        QCOMPARE(second.size(), size_t(1));

        window.reset();
        qputenv("TALVIK_ARCHIVE", "off");
        sim::plug();
        Talvik unarchived;
        unarchived.show();
        QVERIFY(testenv::waitForStatus(unarchived, "Connected"));
        QVERIFY(!unarchived.findChild<QAction *>("actionVisitNote")->isEnabled());
        QVERIFY(archive::listVisits(*database, 555, second).succeeded());
        QCOMPARE(second.size(), size_t(1));
        qputenv("TALVIK_ARCHIVE", archiveFile.toLocal8Bit());
    }
};

QTEST_MAIN(VisitTest)
#include "tst_visit.moc"
