// talvik-cli's commands in-process on the simulated module: what the command
// line adds to the core (checks before the module is touched, exit codes,
// standard output, the wait, the module lock), each command once.
#include "archive/archivedatabase.h"
#include "archive/ingest.h"
#include "cli/commandline.h"
#include "config/configuration.h"
#include "log/logrecord.h"
#include "log/logstore.h"
#include "sim/logrecords.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "tests/support/testenvironment.h"
#include "usb/qusbport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
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

#include <cstring>
#include <memory>
#include <thread>

#include <sys/stat.h>
#include <sys/sysmacros.h>

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

    void aSwitchedOffCommandNamesTheIniFileItRead()
    {
        for (const QString &ini : {QString(), QString("LogErase=true\n")}) {
            if (!ini.isEmpty())
                testenv::writeTalvikIni(ini);
            const QString read = ini.isEmpty()
                                     ? QString(TALVIK_SYSTEM_SWITCHES)
                                     : QCoreApplication::applicationDirPath() + "/Talvik.ini";
            const QString named = QString("Development=true in %1.").arg(read);
            const Outcome outcome = runCli({"serial", "set", "5"});
            QCOMPARE(outcome.code, 2);
            QVERIFY2(outcome.err.contains(named), qPrintable(outcome.err));
            QVERIFY(runCli({"serial", "set", "--help"}).out.contains(named));
        }
        QCOMPARE(sim::openCount(), 0);
    }

    void helpAndVersionNeedNoModule()
    {
        sim::unplug();
        const Outcome version = runCli({"--version"});
        QCOMPARE(version.code, 0);
        QCOMPARE(version.out, QString("talvik-cli %1\n").arg(TALVIK_VERSION));
        const Outcome help = runCli({"log", "download", "-h"});
        QCOMPARE(help.code, 0);
        QVERIFY2(
            help.out.startsWith("Usage: talvik-cli [--wait SECONDS] log download [--new "
                                "[--force]] [--no-archive | --archive DB] -o FILE.csv|FOLDER\n"),
            qPrintable(help.out));
        QVERIFY(help.out.contains("  -o, --output FILE "));
        QVERIFY(runCli({"--help"}).out.contains("serial set N"));
        const Outcome group = runCli({"config", "--help"});
        QCOMPARE(group.code, 0);
        QVERIFY(group.out.contains("\n  config read ") && group.out.contains("\n  config write "));
        // Every option a command's synopsis shows is explained under its Options.
        const QRegularExpression command("^  ([a-z]+ [a-z|]+)",
                                         QRegularExpression::MultilineOption);
        const QRegularExpression option("--[a-z-]+");
        auto commands = command.globalMatch(runCli({"--help"}).out);
        while (commands.hasNext()) {
            const QString words = commands.next().captured(1).section('|', 0, 0);
            const QString text = runCli(words.split(' ') + QStringList{"--help"}).out;
            const QString usage = text.section('\n', 0, 0).section(words, 1);
            const QString options = text.section("Options:", 1);
            auto used = option.globalMatch(usage);
            while (used.hasNext()) {
                const QString name = used.next().captured(0);
                QVERIFY2(options.contains(QRegularExpression(QString("\\s%1\\b").arg(name))),
                         qPrintable(words + ": " + name));
            }
        }
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

    // A file brings the module every setting, or with --partial only those
    // it holds; values the form could not hold are refused before the
    // module is opened.
    void configWriteTakesOnlyWhatTheFormCouldHold()
    {
        sim::SimulatedModule &module = sim::module();
        const QString file = folder + "/station.ncm";
        QCOMPARE(runCli({"config", "read", "-o", file}).code, 0);
        const QByteArray whole = fileBytes(file);
        const int opens = sim::openCount();
        const int logRate = config::parameterOf("ComboBoxLogRate")->index;
        const std::string stationId =
            module.textParameter(config::parameterOf("LineEditID")->index);
        const int rateBefore = module.int16Parameter(logRate);

        // A file with one key's line replaced.
        const auto withLine = [](QByteArray bytes, const QString &key, const QByteArray &line) {
            const QRegularExpression old("\n" + key + "=[^\n]*\n");
            return bytes.replace(old.match(bytes).captured(0).toLatin1(), line);
        };
        writeFile(file, withLine(whole, "ID", "\n"));
        Outcome outcome = runCli({"config", "write", file});
        QCOMPARE(outcome.code, 2);
        QVERIFY2(outcome.err.contains("lacks 1 of the 49 settings: ID."), qPrintable(outcome.err));
        QVERIFY(outcome.err.contains("--partial"));

        writeFile(file, withLine(withLine(whole, "LogRate", "\nLogRate=999\n"), "ID",
                                 "\nID=" + QByteArray(300, 'x') + "\n"));
        outcome = runCli({"config", "write", file, "--dry-run"});
        QCOMPARE(outcome.code, 2);
        QVERIFY2(
            outcome.err.contains("LogRate: \"999\" is not one of its items; it takes 0 to 8.\n"),
            qPrintable(outcome.err));
        QVERIFY(outcome.err.contains(" has 300 characters; the field holds at most 20.\n"));

        writeFile(file, "[General]\nAN1Type=1\nAN2A=2\n");
        outcome = runCli({"config", "write", file, "--partial"});
        QCOMPARE(outcome.code, 2);
        QVERIFY2(outcome.err.contains("holds AN2A but not AN2Type"), qPrintable(outcome.err));

        // The parser refuses it as the window's Load does.
        writeFile(file, "[General]\nLogRate=1\nLogRate=2\n");
        outcome = runCli({"config", "write", file, "--partial"});
        QCOMPARE(outcome.code, 1);
        QVERIFY2(outcome.err.contains("The key \"LogRate\" stands on line 2 and again on line 3."),
                 qPrintable(outcome.err));
        QCOMPARE(sim::openCount(), opens);
        QCOMPARE(module.textParameter(config::parameterOf("LineEditID")->index), stationId);

        // Only what the file holds is listed and sent; an unknown key is
        // named on standard error and left out.
        const int rate = rateBefore == 8 ? 7 : 8;
        writeFile(file, QString("[General]\nLogRate=%1\nNote=x\n").arg(rate).toLatin1());
        outcome = runCli({"config", "write", file, "--partial", "--dry-run"});
        QCOMPARE(outcome.code, 0);
        QCOMPARE(outcome.out, QString("LogRate: \"%1\" -> \"%2\"\n").arg(rateBefore).arg(rate));
        QVERIFY2(outcome.err.contains("Note"), qPrintable(outcome.err));
        sim::clearWrittenReports();
        outcome = runCli({"config", "write", file, "--partial"});
        QCOMPARE(outcome.code, 0);
        QCOMPARE(commandsSent(), (QList<int>{0x07, 0x13}));
        QCOMPARE(int(module.int16Parameter(logRate)), rate);
        QCOMPARE(module.textParameter(config::parameterOf("LineEditID")->index), stationId);
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

    void filesAreReplacedOnlyWhereNothingIsLost()
    {
        sim::SimulatedModule &module = sim::module();
        module.addRecords(sim::generateLog(40, 2024, sim::LogOptions()));

        // Two runs of new records in one minute: the second pair gets a free name.
        module.setNewMark(30);
        QCOMPARE(runCli({"log", "download", "--new", "-o", folder}).code, 0);
        module.setNewMark(30);
        const Outcome second = runCli({"log", "download", "--new", "-o", folder});
        QCOMPARE(second.code, 0);
        QVERIFY(
            second.out.contains(QRegularExpression(" \\(2\\)\\.csv\n.* \\(2\\)-system\\.csv\n$")));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 4);

        // A name without ".csv" gets it; a file that exists stops --new
        // before the module hears of it, unless --force.
        module.setNewMark(30);
        QCOMPARE(runCli({"log", "download", "--new", "-o", folder + "/dir.d"}).code, 0);
        QVERIFY(QFile::exists(folder + "/dir.d.csv") &&
                QFile::exists(folder + "/dir.d-system.csv"));
        module.setNewMark(30);
        sim::clearWrittenReports();
        const Outcome taken = runCli({"log", "download", "--new", "-o", folder + "/dir.d.csv"});
        QCOMPARE(taken.code, 2);
        QVERIFY(taken.err.contains(folder + "/dir.d.csv exists"));
        QVERIFY(commandsSent().isEmpty());
        QCOMPARE(runCli({"log", "download", "--new", "--force", "-o", folder + "/dir.d"}).code, 0);

        // Any other node is refused by name and stays what it was.
        const QString fifo = folder + "/pipe";
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        sim::clearWrittenReports();
        const Outcome refused = runCli({"log", "download", "-o", fifo});
        QCOMPARE(refused.code, 2);
        QVERIFY(refused.err.contains(fifo + " is a FIFO"));
        QVERIFY(commandsSent().isEmpty());

        // config read writes into a stream where it is.
        QByteArray streamed;
        std::thread reader([&] {
            QFile pipe(fifo);
            if (pipe.open(QIODevice::ReadOnly))
                streamed = pipe.readAll();
        });
        const Outcome read = runCli({"config", "read", "-o", fifo});
        reader.join();
        QCOMPARE(read.code, 0);
        QVERIFY(streamed.startsWith("[General]\nAN1A="));
        QCOMPARE(QFileInfo(fifo).isFile(), false);

        // A device that refuses the bytes: the window's text, then the path
        // and the system's reason; the node is still the device.
        const QString full = folder + "/full";
        if (::mknod(QFile::encodeName(full).constData(), S_IFCHR | 0600, makedev(1, 7)) == 0) {
            const Outcome refusedBytes = runCli({"config", "read", "-o", full});
            QCOMPARE(refusedBytes.code, 1);
            QCOMPARE(refusedBytes.err,
                     "Failed to save configuration file.\n" + full + ": No space left on device\n");
            QVERIFY(!QFileInfo(full).isFile());
        }

        // A folder that does not exist: the same usage error for every command.
        const QString missing = folder + "/gone";
        for (const QStringList &arguments :
             {QStringList{"config", "read", "-o", missing + "/a.ncm"},
              QStringList{"config", "write", missing + "/a.ncm"},
              QStringList{"log", "download", "-o", missing + "/"},
              QStringList{"log", "check", missing + "/a.csv"},
              QStringList{"firmware", "upload", missing + "/a.bin"}}) {
            const Outcome outcome = runCli(arguments);
            QCOMPARE(outcome.code, 2);
            QVERIFY2(outcome.err.contains("the folder " + missing + " does not exist."),
                     qPrintable(outcome.err));
        }
    }

    void downloadsLandInTheArchiveAndComeBackWhole()
    {
        sim::SimulatedModule &module = sim::module();
        module.addRecords(sim::generateLog(60, 2024, sim::LogOptions()));
        const QString archiveFile = folder + "/archive.sqlite";
        qputenv("TALVIK_ARCHIVE", archiveFile.toLocal8Bit());

        const Outcome full = runCli({"log", "download", "-o", folder + "/full.csv"});
        QCOMPARE(full.code, 0);
        QVERIFY2(full.err.startsWith("Archived "), qPrintable(full.err));
        // The identity comes first: serial number, then the station ID.
        QCOMPARE(commandsSent().mid(0, 3), (QList<int>{0x01, 0x14, 0x02}));
        sim::clearWrittenReports();
        QCOMPARE(runCli({"log", "download", "--no-archive", "-o", folder + "/off.csv"}).code, 0);
        QCOMPARE(commandsSent().first(), 0x02);
        qputenv("TALVIK_ARCHIVE", "off");

        const Outcome stations =
            runCli({"archive", "stations", "--json", "--archive", archiveFile});
        QCOMPARE(stations.code, 0);
        const QJsonArray list = QJsonDocument::fromJson(stations.out.toUtf8()).array();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].toObject()["records"].toInt(), 60);
        QCOMPARE(runCli({"archive", "export", "--download", "1", "-o", folder + "/again",
                         "--archive", archiveFile})
                     .code,
                 0);
        QCOMPARE(fileBytes(folder + "/again.csv"), fileBytes(folder + "/full.csv"));
        QCOMPARE(fileBytes(folder + "/again-system.csv"), fileBytes(folder + "/full-system.csv"));
    }

    // Each run that does something to a module is a collection of its own;
    // a report comes out as HTML in-process, and as a PDF from the program
    // without a display.
    void runsAreCollectionsAndAVisitHasAReport()
    {
        const QString archiveFile = folder + "/visits.sqlite";
        qputenv("TALVIK_ARCHIVE", archiveFile.toLocal8Bit());
        QCOMPARE(runCli({"clock", "set"}).code, 0);
        QCOMPARE(runCli({"cell", "disable"}).code, 0);
        qputenv("TALVIK_ARCHIVE", "off");
        QCOMPARE(runCli({"cell", "enable"}).code, 0);

        const Outcome listed =
            runCli({"archive", "visits", "--station", "20471", "--json", "--archive", archiveFile});
        QCOMPARE(listed.code, 0);
        const QJsonArray visits =
            QJsonDocument::fromJson(listed.out.toUtf8()).object()["visits"].toArray();
        QCOMPARE(visits.size(), 2);
        for (const QJsonValue &visit : visits) {
            QCOMPARE(visit.toObject()["kind"].toString(), QString("collection"));
            QCOMPARE(visit.toObject()["program"].toString(), QString("talvik-cli"));
        }
        const QJsonObject clock = visits[0].toObject()["actions"].toArray()[0].toObject();
        QCOMPARE(clock["action"].toString(), QString("clock-set"));
        QCOMPARE(clock["outcome"].toString(), QString("success"));

        const QString id = QString::number(visits[1].toObject()["id"].toInt());
        QCOMPARE(runCli({"archive", "report", "--visit", id, "-o", folder + "/r.html", "--archive",
                         archiveFile})
                     .code,
                 0);
        QVERIFY(fileBytes(folder + "/r.html").contains("Cell modem switched"));
        const struct {
            QStringList arguments;
            int code;
        } refused[] = {
            {{"--visit", id, "-o", folder + "/r.txt"}, 2},
            {{"--visit", id, "-o", folder}, 2},
            {{"--visit", "99", "-o", folder + "/none.pdf"}, 1},
        };
        for (const auto &run : refused)
            QCOMPARE(runCli(QStringList{"archive", "report"} + run.arguments +
                            QStringList{"--archive", archiveFile})
                         .code,
                     run.code);

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QT_QPA_PLATFORM");
        environment.remove("DISPLAY");
        process.setProcessEnvironment(environment);
        process.start(TALVIK_CLI_DEMO, {"archive", "report", "--visit", id, "-o", folder + "/r.pdf",
                                        "--archive", archiveFile});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(fileBytes(folder + "/r.pdf").startsWith("%PDF"));
    }

    // The stations check answers as monitoring systems expect.
    void stationsCheckExitsAsMonitoringExpects()
    {
        const QString archiveFile = folder + "/board.sqlite";
        {
            std::unique_ptr<archive::Database> database;
            QVERIFY(archive::Database::openLocal(archiveFile, database).succeeded());
            OwnRecordStore own(1);
            const std::vector<sim::Record> log = sim::generateLog(1, 7, sim::LogOptions());
            std::memcpy(own.store().records[0], log[0].data(), LogRecord::Size);
            const qint64 hour = 3600000;
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            // Daily downloads: 301 on time, 302 a week behind, 303 once only.
            const struct {
                quint32 serial;
                QVector<qint64> hoursAgo;
            } stations[] = {{301, {50, 26, 2}}, {302, {216, 192, 168}}, {303, {5}}};
            for (const auto &station : stations)
                for (qint64 hours : station.hoursAgo) {
                    archive::DownloadFacts facts;
                    facts.serial = station.serial;
                    facts.downloadedAt = now - hours * hour;
                    facts.recordCount = 1;
                    archive::IngestSummary summary;
                    QVERIFY(archive::archiveDownload(*database, facts, own.store(), summary)
                                .succeeded());
                }
        }
        const Outcome late = runCli({"archive", "stations", "--check", "--archive", archiveFile});
        QCOMPARE(late.code, 2);
        QCOMPARE(late.out.count('\n'), 1);
        QVERIFY2(late.out.startsWith("302: missing, records last came 7 d 0 h ago, usually every "
                                     "1 d 0 h"),
                 qPrintable(late.out));
        const struct {
            QStringList arguments;
            int code;
        } runs[] = {
            {{"--check", "--strict", "--archive", archiveFile}, 2},
            {{"--check", "--archive", folder + "/none/board.sqlite"}, 3},
            {{"--check", "--bogus"}, 3},
            {{"--strict", "--archive", archiveFile}, 2},
        };
        for (const auto &run : runs) {
            const Outcome outcome = runCli(QStringList{"archive", "stations"} + run.arguments);
            QVERIFY2(outcome.code == run.code, qPrintable(run.arguments.join(' ') + outcome.err));
        }
        const Outcome listed = runCli({"archive", "stations", "--json", "--archive", archiveFile});
        const QJsonArray list = QJsonDocument::fromJson(listed.out.toUtf8()).array();
        QCOMPARE(list.size(), 3);
        QCOMPARE(list[0].toObject()["state"].toString(), QString("on time"));
        QCOMPARE(list[2].toObject()["state"].toString(), QString("unknown"));
        // The last week's findings and the battery, as kept at ingest: the
        // one record is a boot, so there is no voltage.
        QCOMPARE(list[0].toObject()["findings"].toInt(-1), 0);
        QVERIFY(list[0].toObject().contains("batteryVolts"));
        QVERIFY(list[0].toObject()["batteryVolts"].isNull());
    }

    void serviceCommandsReportTheWindowsTexts()
    {
        sim::SimulatedModule &module = sim::module();
        testenv::writeTalvikIni("Development=true\nLogErase=true\n");

        Outcome outcome = runCli({"clock", "set"});
        QCOMPARE(outcome.code, 0);
        QVERIFY(
            outcome.out.startsWith("Clock set to " + QDate::currentDate().toString(Qt::ISODate)));
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

    // A FIFO named as the log is refused at once; a log cut short is checked
    // up to its cut line, which is a finding; the JSON lists every item.
    void logCheckRefusesAFifoAndListsEverything()
    {
        const QString fifo = folder + "/fifo.csv";
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        Outcome outcome = runCli({"log", "check", fifo});
        QCOMPARE(outcome.code, 4);
        QVERIFY2(outcome.err.contains("fifo.csv is a FIFO"), qPrintable(outcome.err));

        const QString file = folder + "/cut.csv";
        QByteArray system = LogRecord::systemHeader().toUtf8() + "\r\n";
        for (int e = 0; e < 7; ++e)
            system += QString("%1,2024-03-01 10:0%1:00,Error,3,Sensor\r\n").arg(e).toUtf8();
        writeFile(folder + "/cut-system.csv", system + "Retries 0\r\n");
        writeFile(file, LogRecord::measurementHeader({}).toUtf8() + "\r\n1,2024-03-01 10:00:00," +
                            QByteArray("1,").repeated(20) + "12.5," + QByteArray("1,").repeated(7) +
                            "\r\n2,2024-03-01 10:1");
        outcome = runCli({"log", "check", file, "--json"});
        QCOMPARE(outcome.code, 1);
        const QJsonObject json = QJsonDocument::fromJson(outcome.out.toUtf8()).object();
        QCOMPARE(json.value("measurements").toInt(), 1);
        QStringList rules;
        for (const QJsonValue &finding : json.value("findings").toArray()) {
            rules << finding.toObject().value("rule").toString();
            if (rules.last() == "error-records")
                QCOMPARE(finding.toObject().value("details").toArray().size(), 7);
        }
        QCOMPARE(rules, (QStringList{"cut-line", "error-records"}));
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
