// The production code linked with the real libhidapi-hidraw, on a hidraw
// node that umockdev emulates, with our simulated module behind the node.
// Each slot is one ctest; the bytes are checked as they crossed the node.
#include "app/talvik.h"
#include "config/parametermap.h"
#include "log/logrecord.h"
#include "sim/simulatedmodule.h"
#include "tests/e2e/hidrawbus.h"
#include "tests/e2e/logscenario.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTest>

#include <memory>

namespace
{

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every readable item as the module holds it, by parameter index; a float as
// the form shows it, with 7 significant digits, which is what a write sends.
QMap<int, QByteArray> moduleConfiguration(const sim::SimulatedModule &module)
{
    QMap<int, QByteArray> values;
    for (const config::Parameter &parameter : config::ParameterMap) {
        switch (parameter.kind) {
        case config::Kind::Float:
            values[parameter.index] =
                config::floatToText(module.floatParameter(parameter.index)).toUtf8();
            break;
        case config::Kind::Choice:
        case config::Kind::Port:
            values[parameter.index] = QByteArray::number(module.int16Parameter(parameter.index));
            break;
        case config::Kind::Text:
            values[parameter.index] =
                QByteArray::fromStdString(module.textParameter(parameter.index));
            break;
        case config::Kind::Password:
            break;
        }
    }
    return values;
}

// Something else in every readable item, so that only a complete write
// brings the configuration back.
void overwriteConfiguration(sim::SimulatedModule &module)
{
    for (const config::Parameter &parameter : config::ParameterMap) {
        if (parameter.kind == config::Kind::Float)
            module.setFloatParameter(parameter.index, 0.0f);
        else if (parameter.kind == config::Kind::Choice || parameter.kind == config::Kind::Port)
            module.setInt16Parameter(parameter.index, 0);
        else if (parameter.kind == config::Kind::Text)
            module.setTextParameter(parameter.index, "x");
    }
}

struct CliRun {
    int code = -1;
    QString out;
    QString err;
};

// Runs the real talvik-cli in this process's umockdev testbed. The module
// answers from this process, so the event loop keeps running meanwhile.
CliRun runCli(const QStringList &arguments)
{
    QProcess process;
    process.start(TALVIK_CLI, arguments);
    CliRun run;
    if (!process.waitForStarted() ||
        !QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 120000))
        return run;
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QList<int> commandsSent()
{
    QList<int> codes;
    for (const sim::WrittenReport &report : sim::writtenReports())
        codes.append(report.bytes.size() > 1 ? report.bytes[1] : -1);
    return codes;
}

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Talvik> window;
    QString folder;

    void click(const char *button) { window->findChild<QPushButton *>(button)->click(); }

private slots:
    void initTestCase()
    {
        const QString problem = e2e::hidrawBusProblem();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        // A fixed zone without daylight saving, eight hours west of UTC.
        qputenv("TZ", "PST8");
        testenv::isolateSettings();
    }

    void init()
    {
        sim::freshModule(false);
        QSettings("Norvale", "Talvik").clear();
        static int test = 0;
        folder = testenv::scratchDirectory() + QString("/e2e%1").arg(++test);
        QDir().mkpath(folder);
    }

    void cleanup()
    {
        window.reset();
        sim::reset();
    }

    void connectingWithSetTimeSendsOneClockFrameBeforeTheButtons()
    {
        QSettings("Norvale", "Talvik").setValue("SetTime", true);
        sim::SimulatedModule &module = sim::module();
        const QDateTime before = QDateTime::currentDateTime();
        sim::plug();
        window = std::make_unique<Talvik>();
        window->show();
        QVERIFY(testenv::waitForStatus(*window, "Connected", 5000));
        QTRY_VERIFY(window->findChild<QPushButton *>("ButtonRead")->isEnabled());
        const QDateTime after = QDateTime::currentDateTime();

        // It went through the node: the real hidapi opened it once.
        QCOMPARE(sim::openCount(), 1);
        QCOMPARE(module.clockSetCount(), 1);
        const std::vector<sim::WrittenReport> written = sim::writtenReports();
        QCOMPARE(written.size(), size_t(1));
        const std::vector<unsigned char> &frame = written[0].bytes;
        QCOMPARE(int(frame.size()), 65);
        QCOMPARE(int(frame[0]), 0); // report ID
        QCOMPARE(int(frame[1]), 0x08);
        const QDateTime sent(QDate(2000 + frame[2], frame[3], frame[4]),
                             QTime(frame[5], frame[6], frame[7]));
        QVERIFY2(sent >= before.addMSecs(-before.time().msec()) && sent <= after,
                 qPrintable(sent.toString(Qt::ISODate)));
        QCOMPARE(qint8(frame[8]), qint8(-32)); // UTC offset in quarter hours
        for (size_t i = 9; i < frame.size(); ++i)
            QCOMPARE(int(frame[i]), 0);
        // The module took the same eight bytes.
        QVERIFY(module.lastClockFrame().has_value());
        QVERIFY(std::equal(frame.begin() + 1, frame.begin() + 9, module.lastClockFrame()->begin()));
    }

    void wholeConfigurationReadAndWrittenBackUnchanged()
    {
        sim::SimulatedModule &module = sim::module();
        window = testenv::openConnectedWindow();
        QVERIFY(window != nullptr);
        const QMap<int, QByteArray> original = moduleConfiguration(module);

        {
            DialogAnswerer reading;
            reading.pressButton(QMessageBox::Ok);
            click("ButtonRead");
            QCOMPARE(reading.messages().size(), 1);
            QCOMPARE(reading.messages()[0].text, QString("Settings read from unit."));
            QCOMPARE(commandsSent().size(), 3 + config::readableParameterCount());
        }

        overwriteConfiguration(module);
        QVERIFY(moduleConfiguration(module) != original);
        sim::clearWrittenReports();
        DialogAnswerer writing;
        writing.pressButton(QMessageBox::Ok); // "Are you sure ...?"
        writing.pressButton(QMessageBox::Ok);
        click("ButtonWrite");
        QCOMPARE(writing.unexpected(), 0);
        QCOMPARE(writing.messages().size(), 2);
        QCOMPARE(writing.messages()[1].text, QString("Settings written to unit."));

        // A selection box with no current item goes out as 0xFFFF: the
        // analog 2 units box has no items while the input is a globe
        // thermometer.
        QMap<int, QByteArray> expected = original;
        for (const config::Parameter &parameter : config::ParameterMap) {
            if (parameter.kind != config::Kind::Choice)
                continue;
            if (window->findChild<QComboBox *>(parameter.widget)->currentIndex() < 0)
                expected[parameter.index] = "65535";
        }
        QCOMPARE(moduleConfiguration(module), expected);
        // One version check, then one write per item; blank passwords stay.
        const QList<int> codes = commandsSent();
        QCOMPARE(codes.size(), 1 + config::readableParameterCount());
        QCOMPARE(codes.first(), 0x07);
        for (int code : codes.mid(1))
            QVERIFY2(code == 0x11 || code == 0x13 || code == 0x15,
                     qPrintable(QString::number(code)));
        for (const sim::WrittenReport &report : sim::writtenReports())
            QCOMPARE(int(report.bytes.size()), 65);
    }

    void downloadedLogMatchesTheSimulatedModulesFiles()
    {
        // The same records through the simulated module linked in place of
        // hidapi, in a process of its own without umockdev.
        const QString reference = folder + "/reference.csv";
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("LD_PRELOAD");
        environment.remove("UMOCKDEV_DIR");
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(TALVIK_E2E_REFERENCE, {reference});
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);

        const std::vector<sim::Record> log = e2e::sampleLog();
        sim::module().addRecords(log);
        window = testenv::openConnectedWindow();
        QVERIFY(window != nullptr);
        const QString file = folder + "/Station.csv";
        QCOMPARE(e2e::downloadFullLog(*window, file), QStringList{"Download complete."});

        const QByteArray measurements = fileBytes(file);
        const QByteArray system = fileBytes(LogRecord::systemFileName(file));
        // Two headers, every record on a line of one file, and "Retries 0".
        QCOMPARE(measurements.count("\r\n") + system.count("\r\n"), int(log.size()) + 3);
        QVERIFY(system.endsWith("Retries 0\r\n"));
        QCOMPARE(measurements, fileBytes(reference));
        QCOMPARE(system, fileBytes(LogRecord::systemFileName(reference)));
        QCOMPARE(commandsSent().last(), 0x05);
        QCOMPARE(sim::module().newRecordCount(), 0u);
    }

    void firmwareImageArrivesWholeAndIsAccepted()
    {
        window = testenv::openConnectedWindow();
        QVERIFY(window != nullptr);
        QByteArray image(1000, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = static_cast<char>(i * 7 + 3);
        const QString path = folder + "/module.bin";
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
        file.close();

        DialogAnswerer answerer;
        answerer.chooseFile(path);
        answerer.pressButton(QMessageBox::Ok);
        click("ButtonUpdateFirmware");

        QCOMPARE(answerer.messages().size(), 1);
        QCOMPARE(answerer.messages()[0].text, QString("Firmware upload complete."));
        QCOMPARE(answerer.messages()[0].icon, QMessageBox::Information);
        const std::vector<unsigned char> received = sim::module().firmwareImage();
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(received.data()), int(received.size())),
                 image);
        QVERIFY(sim::module().firmwareVerdict() == sim::FirmwareVerdict::Accepted);
        // The start frame, then 16 frames of 64 bytes.
        QCOMPARE(commandsSent().size(), 1 + 16);
        QCOMPARE(commandsSent().first(), 0x09);
    }

    void unplugDuringDownloadFailsWithoutFinishOrFile()
    {
        sim::SimulatedModule &module = sim::module();
        module.addRecords(e2e::sampleLog());
        module.dropOffAfterRecords(50);
        window = testenv::openConnectedWindow();
        QVERIFY(window != nullptr);

        DialogAnswerer answerer;
        answerer.chooseFile(folder + "/Unplugged.csv");
        answerer.pressButton(QMessageBox::Ok);
        click("ButtonDownloadFullLog");

        QCOMPARE(answerer.messages().size(), 1);
        QCOMPARE(answerer.messages()[0].text, QString("Download failed."));
        QCOMPARE(answerer.messages()[0].icon, QMessageBox::Critical);
        QVERIFY(commandsSent().contains(0x04));
        QVERIFY(!commandsSent().contains(0x05));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(testenv::waitForStatus(*window, "Disconnected"));
        QTRY_VERIFY(!window->findChild<QPushButton *>("ButtonRead")->isEnabled());
    }

    void cliKeepsOffTheWindowsModuleThenDownloadsTheLog()
    {
        const std::vector<sim::Record> log = e2e::sampleLog();
        sim::module().addRecords(log);
        window = testenv::openConnectedWindow();
        QVERIFY(window != nullptr);

        // hidraw would hand the window's replies to talvik-cli too: it keeps off.
        const int opensBefore = sim::openCount();
        const CliRun busy = runCli({"log", "download", "-o", folder + "/Busy.csv"});
        QCOMPARE(busy.code, 3);
        QCOMPARE(busy.err, QString("The Control Module is in use by another Talvik (process %1).\n")
                               .arg(QCoreApplication::applicationPid()));
        QCOMPARE(sim::openCount(), opensBefore);
        QVERIFY(sim::writtenReports().empty());

        window.reset();
        const QString file = folder + "/Station.csv";
        const CliRun download = runCli({"log", "download", "-o", file});
        QCOMPARE(download.code, 0);
        QCOMPARE(download.err, QString("Download complete.\n"));
        QCOMPARE(sim::openCount(), opensBefore + 1);
        const QByteArray measurements = fileBytes(file);
        const QByteArray system = fileBytes(LogRecord::systemFileName(file));
        QCOMPARE(measurements.count("\r\n") + system.count("\r\n"), int(log.size()) + 3);
        QVERIFY(system.endsWith("Retries 0\r\n"));
        QCOMPARE(commandsSent().first(), 0x02);
        QCOMPARE(commandsSent().last(), 0x05);
        QCOMPARE(sim::module().newRecordCount(), 0u);
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_e2e.moc"
