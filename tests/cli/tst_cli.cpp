// talvik-cli's commands in-process on the simulated module: what the command
// line adds to the core (checks before the module is touched, exit codes,
// standard output, the wait, the module lock), each command once.
#include "cli/commandline.h"
#include "config/configuration.h"
#include "log/logrecord.h"
#include "sim/logrecords.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "tests/support/testenvironment.h"
#include "usb/qusbport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

namespace
{

struct Outcome {
    int code = -1;
    QString out;
    QString err;
};

Outcome runCli(const QStringList &arguments, bool progressBars = false)
{
    QByteArray outBytes;
    QByteArray errBytes;
    QBuffer outBuffer(&outBytes);
    QBuffer errBuffer(&errBytes);
    outBuffer.open(QIODevice::WriteOnly);
    errBuffer.open(QIODevice::WriteOnly);
    QTextStream out(&outBuffer);
    QTextStream err(&errBuffer);
    cli::Console console{out, err, progressBars};
    Outcome outcome;
    outcome.code = cli::run(arguments, console);
    out.flush();
    err.flush();
    outcome.out = QString::fromUtf8(outBytes);
    outcome.err = QString::fromUtf8(errBytes);
    return outcome;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QList<int> commandsSent()
{
    QList<int> codes;
    for (const sim::WrittenReport &report : sim::writtenReports())
        codes.append(report.bytes.size() > 1 ? report.bytes[1] : -1);
    return codes;
}

bool anyParameterWritten()
{
    const QList<int> codes = commandsSent();
    return codes.contains(0x11) || codes.contains(0x13) || codes.contains(0x15);
}

// The module's parameter numbers of two items the tests change.
constexpr int MailServerPort = 232;
constexpr int CellDisableParameter = 240;

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

    QString folder;

private slots:
    void initTestCase() { testenv::isolateSettings(); }

    void init()
    {
        sim::freshModule(true);
        static int test = 0;
        folder = testenv::scratchDirectory() + QString("/cli%1").arg(++test);
        QDir().mkpath(folder);
        testenv::removeTalvikIni();
    }

    void cleanup()
    {
        sim::reset();
        testenv::removeTalvikIni();
    }

    void mistakesAreUsageErrorsBeforeTheModuleIsTouched_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("ini");
        QTest::newRow("nothing") << QStringList{} << QString();
        QTest::newRow("unknown command") << QStringList{"reboot"} << QString();
        QTest::newRow("group alone") << QStringList{"config"} << QString();
        QTest::newRow("foreign option") << QStringList{"info", "--new"} << QString();
        QTest::newRow("missing operand") << QStringList{"config", "write"} << QString();
        QTest::newRow("download without file") << QStringList{"log", "download"} << QString();
        QTest::newRow("bad wait") << QStringList{"--wait", "soon", "info"} << QString();
        QTest::newRow("cell sideways") << QStringList{"cell", "sideways"} << QString();
        QTest::newRow("erase without switch") << QStringList{"log", "erase", "--yes"} << QString();
        QTest::newRow("erase without yes")
            << QStringList{"log", "erase"} << QString("LogErase=true\n");
        QTest::newRow("serial without switch") << QStringList{"serial", "set", "5"} << QString();
        QTest::newRow("serial out of range")
            << QStringList{"serial", "set", "2147483648"} << QString("Development=true\n");
    }

    void mistakesAreUsageErrorsBeforeTheModuleIsTouched()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, ini);
        if (!ini.isEmpty())
            testenv::writeTalvikIni(ini);
        const Outcome outcome = runCli(arguments);
        QCOMPARE(outcome.code, 2);
        QVERIFY(!outcome.err.isEmpty());
        QVERIFY(outcome.out.isEmpty());
        QCOMPARE(sim::openCount(), 0);
    }

    void helpAndVersionNeedNoModule()
    {
        sim::unplug();
        const Outcome version = runCli({"--version"});
        QCOMPARE(version.code, 0);
        QCOMPARE(version.out, QString("talvik-cli %1\n").arg(TALVIK_VERSION));
        const Outcome help = runCli({"log", "download", "--help"});
        QCOMPARE(help.code, 0);
        QVERIFY2(help.out.startsWith("Usage: talvik-cli [--wait SECONDS] log download [--new] "
                                     "-o FILE.csv\n"),
                 qPrintable(help.out));
        QVERIFY(runCli({"--help"}).out.contains("serial set N"));
        QCOMPARE(sim::openCount(), 0);
    }

    void unopenableModuleExitsThreeWithTheReason()
    {
        sim::unplug();
        Outcome outcome = runCli({"info"});
        QCOMPARE(outcome.code, 3);
        QCOMPARE(outcome.err, QString("No Control Module found on USB.\n"));

        // Another Talvik has the module: it is not even opened.
        sim::plug();
        QLockFile other(QUSBPort::lockFilePath());
        QVERIFY(other.tryLock(0));
        outcome = runCli({"clock", "set"});
        QCOMPARE(outcome.code, 3);
        QCOMPARE(outcome.err, QString("The Control Module is in use by another Talvik "
                                      "(process %1).\n")
                                  .arg(QCoreApplication::applicationPid()));
        QCOMPARE(sim::openCount(), 0);
        other.unlock();

        // Once it is free, the command runs and leaves the module free again.
        QCOMPARE(runCli({"clock", "set"}).code, 0);
        QVERIFY(other.tryLock(0));
    }

    void waitGivesALateModuleTimeToAppear()
    {
        sim::unplug();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(runCli({"--wait", "0.4", "info"}).code, 3);
        QVERIFY(clock.elapsed() >= 400);

        QTimer::singleShot(600, [] { sim::plug(); });
        const Outcome outcome = runCli({"info", "--wait=5"});
        QCOMPARE(outcome.code, 0);
        QVERIFY(outcome.out.startsWith("Serial Number: "));
    }

    void infoPrintsTheIdentityAsTextOrJson()
    {
        sim::SimulatedModule &module = sim::module();
        module.setSerialNumber(4000000001u);
        module.setSoftwareVersion(312);
        module.setEepromVersion(12);
        QCOMPARE(runCli({"info"}).out,
                 QString("Serial Number: 4000000001\nSoftware Version: 312\nEEPROM Version: 12\n"));
        const QJsonObject json =
            QJsonDocument::fromJson(runCli({"info", "--json"}).out.toUtf8()).object();
        QCOMPARE(json.value("serialNumber").toDouble(), 4000000001.0);
        QCOMPARE(json.value("softwareVersion").toInt(), 312);
        QCOMPARE(json.value("eepromVersion").toInt(), 12);

        module.staySilent(2);
        const Outcome silent = runCli({"info"});
        QCOMPARE(silent.code, 1);
        QCOMPARE(silent.err, QString("Failed to get serial number.\n"));
    }

    void configReadGivesTheSavedFileOnStandardOutput()
    {
        const QString file = folder + "/station.ncm";
        const Outcome saved = runCli({"config", "read", "-o", file});
        QCOMPARE(saved.code, 0);
        QCOMPARE(saved.err, QString("Settings read from unit.\n"));
        const Outcome printed = runCli({"config", "read"});
        QCOMPARE(printed.code, 0);
        QVERIFY(!printed.out.isEmpty());
        QCOMPARE(printed.out.toUtf8(), fileBytes(file));
    }

    void configWriteSendsTheFileAndKeepsWhatItLacks()
    {
        sim::SimulatedModule &module = sim::module();
        module.setInt16Parameter(MailServerPort, 587);
        const QString file = folder + "/station.ncm";
        QCOMPARE(runCli({"config", "read", "-o", file}).code, 0);
        const config::Parameter &slope = *config::parameterOf("LineEditTempSlope");
        const float original = module.floatParameter(slope.index);
        module.setFloatParameter(slope.index, original + 10);

        // The dry run names the one field that differs and sends nothing.
        sim::clearWrittenReports();
        const Outcome dry = runCli({"config", "write", file, "--dry-run"});
        QCOMPARE(dry.code, 0);
        QCOMPARE(dry.out,
                 QString("%1: \"%2\" -> \"%3\"\n")
                     .arg(config::Configuration::keyOf(slope), config::floatToText(original + 10),
                          config::floatToText(original)));
        QVERIFY(dry.err.contains("Nothing was written to the unit."));
        QVERIFY(!anyParameterWritten());

        const Outcome written = runCli({"config", "write", file});
        QCOMPARE(written.code, 0);
        QCOMPARE(written.err, QString("Settings written to unit.\n"));
        QCOMPARE(module.floatParameter(slope.index), original);
        // The file holds no mail server port: the module's stays.
        QCOMPARE(int(module.int16Parameter(MailServerPort)), 587);
    }

    void configWriteRefusesAFileItCannotSend()
    {
        const QString missing = folder + "/none.ncm";
        Outcome outcome = runCli({"config", "write", missing});
        QCOMPARE(outcome.code, 1);
        QCOMPARE(outcome.err, QString("File not found.\n"));

        const QString file = folder + "/station.ncm";
        QCOMPARE(runCli({"config", "read", "-o", file}).code, 0);
        const QString key = config::Configuration::keyOf(*config::parameterOf("LineEditTempSlope"));
        QByteArray bytes = fileBytes(file);
        const int at = bytes.indexOf(key.toUtf8() + '=');
        QVERIFY(at >= 0);
        bytes.insert(at + key.size() + 1, "x");
        writeFile(file, bytes);
        sim::clearWrittenReports();
        const int opensBefore = sim::openCount();
        outcome = runCli({"config", "write", file});
        QCOMPARE(outcome.code, 1);
        QVERIFY2(outcome.err.contains("Nothing was written to the unit."), qPrintable(outcome.err));
        QCOMPARE(sim::openCount(), opensBefore);
    }

    void logDownloadWritesBothFilesAndAQuietDayIsNoFailure()
    {
        sim::SimulatedModule &module = sim::module();
        sim::LogOptions options;
        module.addRecords(sim::generateLog(300, 2024, options));
        module.setNewMark(200);

        // A folder gets the window's file name; the names go to standard output.
        const Outcome outcome = runCli({"log", "download", "--new", "-o", folder + "/"}, true);
        QCOMPARE(outcome.code, 0);
        const QStringList files = outcome.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(files.size(), 2);
        QVERIFY(files[0].startsWith(folder + "/Log "));
        QVERIFY(files[1].endsWith("-system.csv"));
        QVERIFY(QFile::exists(files[0]) && QFile::exists(files[1]));
        QCOMPARE(commandsSent().first(), 0x03);
        QCOMPARE(commandsSent().last(), 0x05);
        QCOMPARE(module.newRecordCount(), 0u);
        // The bar is drawn on the terminal and wiped before the message.
        QVERIFY(outcome.err.contains(
            QRegularExpression("\rDownloading Log \\d+ of 100 \\[#* *\\] +\\d+%")));
        QVERIFY(outcome.err.contains(QRegularExpression("\r +\rDownload complete\\.\n$")));

        const Outcome quiet = runCli({"log", "download", "--new", "-o", folder + "/again.csv"});
        QCOMPARE(quiet.code, 0);
        QCOMPARE(quiet.err, QString("Nothing new to download.\n"));
        QVERIFY(!QFile::exists(folder + "/again.csv"));
    }

    void serviceCommandsReportTheWindowsTexts()
    {
        sim::SimulatedModule &module = sim::module();
        testenv::writeTalvikIni("Development=true\nLogErase=true\n");

        Outcome outcome = runCli({"clock", "set"});
        QCOMPARE(outcome.code, 0);
        QCOMPARE(module.clockSetCount(), 1);

        outcome = runCli({"cell", "disable"});
        QCOMPARE(outcome.code, 0);
        QCOMPARE(outcome.err, QString("Cell phone disabled.\nPlease reset Control Module for "
                                      "change to take effect.\n"));
        QCOMPARE(int(module.int16Parameter(CellDisableParameter)), 1);

        outcome = runCli({"serial", "set", "4711"});
        QCOMPARE(outcome.code, 0);
        QCOMPARE(outcome.out, QString("Serial Number: 4711\n"));
        QCOMPARE(outcome.err, QString("Serial Number set.\n"));

        module.staySilent(1);
        outcome = runCli({"log", "erase", "--yes"});
        QCOMPARE(outcome.code, 1);
        QCOMPARE(outcome.err, QString("Failed to erase log.\n"));
        outcome = runCli({"log", "erase", "--yes"});
        QCOMPARE(outcome.code, 0);
        QCOMPARE(outcome.err, QString("Log erased.\n"));
        QCOMPARE(module.eraseCount(), 1);

        const QString image = folder + "/module.bin";
        writeFile(image, QByteArray(300, '\x5A'));
        outcome = runCli({"firmware", "upload", image});
        QCOMPARE(outcome.code, 0);
        QCOMPARE(outcome.err, QString("Firmware upload complete.\n"));
        QCOMPARE(module.firmwareImage().size(), size_t(300));
        // Not a terminal: no bar at all.
        QVERIFY(!outcome.err.contains('\r'));
    }

    // Files only: the module is never opened, and the exit code says
    // whether anything needs a look.
    void logCheckExitsByWhatItFinds()
    {
        const QString file = folder + "/check.csv";
        // A battery at 12.5 V, everything else at 1.
        const QByteArray values =
            QByteArray("1,").repeated(20) + "12.5," + QByteArray("1,").repeated(7);
        writeFile(file, LogRecord::measurementHeader({}).toUtf8() + "\r\n" +
                            "1,2024-03-01 10:00:00," + values + "\r\n" + "2,2024-03-01 10:10:00," +
                            values + "\r\n");
        const QByteArray system = LogRecord::systemHeader().toUtf8() + "\r\n";
        writeFile(folder + "/check-system.csv", system + "Retries 0\r\n");
        Outcome outcome = runCli({"log", "check", file});
        QCOMPARE(outcome.code, 0);
        QVERIFY(outcome.out.contains("Nothing needs a look."));

        writeFile(folder + "/check-system.csv",
                  system + "3,2024-03-01 10:05:00,Error,1,Battery low\r\nRetries 0\r\n");
        outcome = runCli({"log", "check", file, "--json"});
        QCOMPARE(outcome.code, 1);
        const QJsonObject json = QJsonDocument::fromJson(outcome.out.toUtf8()).object();
        QCOMPARE(json.value("measurements").toInt(), 2);
        QCOMPARE(json.value("findings").toArray().first().toObject().value("rule").toString(),
                 QString("error-records"));

        writeFile(folder + "/other.csv", "Date;Temp\r\n");
        outcome = runCli({"log", "check", folder + "/other.csv"});
        QCOMPARE(outcome.code, 4);
        QVERIFY2(outcome.err.contains("other.csv, line 1:"), qPrintable(outcome.err));
        QCOMPARE(runCli({"log", "check"}).code, 2);
        QCOMPARE(sim::openCount(), 0);
    }

    void demoProgramRunsCommandsAsAProcess()
    {
        QProcess process;
        process.start(TALVIK_CLI_DEMO, {"info", "--json"});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        const QJsonObject json = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
        QVERIFY(json.value("eepromSupported").toBool());
        QCOMPARE(process.readAllStandardError(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
