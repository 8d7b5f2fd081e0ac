#include "app/talvik.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "tests/config/configfixture.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <csignal>
#include <memory>

#include <sys/resource.h>
#include <sys/stat.h>

namespace
{

const QString Filter = "Norvale Control Module Setting Files (*.ncm)";

// The [General] lines of an INI file as key -> raw value, and every section seen.
QMap<QString, QString> iniLines(const QString &path, QStringList *sections = nullptr)
{
    QFile file(path);
    QMap<QString, QString> lines;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return lines;
    const QStringList all = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    for (const QString &line : all) {
        if (line.startsWith('[')) {
            if (sections != nullptr)
                sections->append(line);
            continue;
        }
        const int equals = line.indexOf('=');
        lines.insert(line.left(equals), line.mid(equals + 1));
    }
    return lines;
}

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// A value that makes the settings library build a list with a huge count.
const QByteArray HugeList = "@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)";

// A fuzzer's file that froze the window: a cut section line, raw bytes and a
// polygon with a negative count.
const QByteArray FuzzedFile = QByteArray::fromBase64(
    "W0dlbmVyYWxdQU4xQT09MC4wPQpBTjFSPTEwMEFOMVR5cFtHMDIzNzk4mzUkADBgAABdCklEeSBTdGF0aW9uIDcpCkFO"
    "MVR5cGU9QFZhcmlhbnQoXDBcMFwwXLe3t7e3t7e3t7e3t7e3t7e3t7e3t7e3t7e3t7e3t7e3t7e3t7e3t7e3t7e3t7e3"
    "t7e3t7e3t7e3t7e3t7e3t7e3t7e3t7e3t7e3t7e3t7e3t7e3t3gyXDBcMFwwXHkxKQpMb2dSYXQKQQAAAAAAAAAATjJB"
    "PTEKQU4yQj0wCkFOMkM9PQpBTjFSPTEwMEFOMVR5cFswCkFOMgpEPTAKQU4yR1I9MApBTjJUeXBlPTMKQU4yVW5nCkVt"
    "YXNpbHI9c1Vl");

} // namespace

class ConfigFileTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Talvik> window;
    QString folder;

    bool open()
    {
        window = testenv::openConnectedWindow();
        return window != nullptr;
    }

    QLineEdit *edit(const char *name) { return window->findChild<QLineEdit *>(name); }
    QComboBox *box(const char *name) { return window->findChild<QComboBox *>(name); }

    void save(DialogAnswerer &answerer, const QString &path)
    {
        answerer.chooseFile(path);
        window->findChild<QPushButton *>("ButtonSave")->click();
    }

    void load(DialogAnswerer &answerer, const QString &path)
    {
        answerer.chooseFile(path);
        window->findChild<QPushButton *>("ButtonLoad")->click();
    }

    // Values unlike every default, set in map order so each analog type comes
    // before its channel's other items.
    void fillForm()
    {
        const QMap<QString, int> choices = {
            {"ComboBoxDL", 8},         {"ComboBoxLogRate", -1},  {"ComboBoxLogEmailRate", 4},
            {"ComboBoxLogFTPRate", 3}, {"ComboBoxFan", 2},       {"ComboBoxTempUnits", 1},
            {"ComboBoxPressUnits", 2}, {"ComboBoxWindUnits", 3}, {"ComboBoxAN1Type", 1},
            {"ComboBoxAN1Units", 1},   {"ComboBoxAN2Type", 4},   {"ComboBoxAN2Units", -1},
            {"ComboBoxRainType", 1},   {"ComboBoxWURate", 5},    {"ComboBoxLightning", 1},
        };
        for (const ExpectedItem &item : expectedItems()) {
            if (item.kind == 'C')
                box(item.widget)->setCurrentIndex(choices.value(item.widget));
            else
                edit(item.widget)->setText(QString("v-") + item.widget);
        }
        edit("LineEditTempSlope")->setText("1.50");
        edit("LineEditAN1A")->setText("abc");
        edit("LineEditAN2Units")->setText("kPa");
        for (const char *name : {"LineEditWUPassVer", "LineEditEmailPassVer", "LineEditFTPPassVer"})
            edit(name)->setText(QString("v-") + name);
    }

    QMap<QString, QString> formState()
    {
        QMap<QString, QString> state;
        for (const ExpectedItem &item : expectedItems())
            state[item.widget] = item.kind == 'C'
                                     ? QString::number(box(item.widget)->currentIndex())
                                     : edit(item.widget)->text();
        for (const char *name : {"LineEditWUPassVer", "LineEditEmailPassVer", "LineEditFTPPassVer"})
            state[name] = edit(name)->text();
        return state;
    }

private slots:
    void initTestCase()
    {
        testenv::isolateSettings();
        folder = testenv::scratchDirectory() + "/files/";
        QVERIFY(QDir().mkpath(folder + "other"));
    }

    void init() { sim::freshModule(false); }

    void cleanup()
    {
        window.reset();
        sim::reset();
    }

    void saveAndLoadRoundTripEveryKeptItem()
    {
        QVERIFY(open());
        fillForm();
        const QMap<QString, QString> saved = formState();
        QCOMPARE(box("ComboBoxAN1Units")->currentText(), QString::fromUtf8("\u00B0F"));

        const QString path = folder + "round.ncm";
        DialogAnswerer answerer;
        save(answerer, path);
        QVERIFY(answerer.messages().isEmpty());

        QStringList sections;
        const QMap<QString, QString> lines = iniLines(path, &sections);
        QCOMPARE(sections, QStringList{"[General]"});
        QStringList keys;
        for (const ExpectedItem &item : expectedItems())
            if (item.fileKey != nullptr)
                keys << item.fileKey;
        std::sort(keys.begin(), keys.end());
        QCOMPARE(lines.keys(), keys);
        QCOMPARE(lines["LogRate"], QString("-1"));
        QCOMPARE(lines["NorvaleLive"], QString("8"));
        QCOMPARE(lines["AN2Units"], QString("-1"));
        QCOMPARE(lines["TempSlope"], QString("1.50"));
        QCOMPARE(lines["WiFiPass"], QString("v-LineEditWiFiPass"));

        // Everything different, then the file brings it all back.
        for (const ExpectedItem &item : expectedItems()) {
            if (item.kind == 'C')
                box(item.widget)->setCurrentIndex(0);
            else
                edit(item.widget)->setText("other");
        }
        for (const char *name : {"LineEditWUPassVer", "LineEditEmailPassVer", "LineEditFTPPassVer"})
            edit(name)->setText("other");
        QMap<QString, QString> expected = saved;
        for (const char *name :
             {"LineEditWUPass", "LineEditWUPassVer", "LineEditEmailPass", "LineEditEmailPassVer",
              "LineEditFTPPass", "LineEditFTPPassVer", "LineEditEmailServerPort"})
            expected[name] = "other";

        load(answerer, path);
        QVERIFY(answerer.messages().isEmpty());
        QCOMPARE(formState(), expected);
        QCOMPARE(box("ComboBoxAN1Units")->currentText(), QString::fromUtf8("\u00B0F"));

        const QList<DialogAnswerer::Seen> dialogs = answerer.seen();
        QCOMPARE(dialogs.size(), 2);
        QCOMPARE(dialogs[0].title, QString("Save Settings"));
        QCOMPARE(dialogs[1].title, QString("Load Settings"));
        for (const DialogAnswerer::Seen &dialog : dialogs) {
            QCOMPARE(dialog.text, Filter);
            QCOMPARE(dialog.parent, window.get());
        }
        QCOMPARE(dialogs[1].directory, QDir(folder).absolutePath());
        QVERIFY(sim::writtenReports().empty());
    }

    void savingOverAFileKeepsNoKeyOfTheOldOne()
    {
        QVERIFY(open());
        const QString path = folder + "over.ncm";
        writeFile(path, "[General]\nOldKey=1\nID=old\n\n[Other]\nx=1\n");
        edit("LineEditID")->setText("new");
        DialogAnswerer answerer;
        save(answerer, path);
        QStringList sections;
        const QMap<QString, QString> lines = iniLines(path, &sections);
        QCOMPARE(sections, QStringList{"[General]"});
        QCOMPARE(lines.size(), 49);
        QVERIFY(!lines.contains("OldKey"));
        QCOMPARE(lines["ID"], QString("new"));
    }

    void missingKeysLoadTheirDefaults()
    {
        QVERIFY(open());
        fillForm();
        QMap<QString, QString> expected = formState();
        const QString path = folder + "sparse.ncm";
        writeFile(path, "[General]\nID=station\n");
        for (const ExpectedItem &item : expectedItems()) {
            if (item.fileKey == nullptr)
                continue;
            const QString key = item.fileKey;
            if (item.kind == 'C')
                expected[item.widget] = "0";
            else if (key.endsWith("Slope"))
                expected[item.widget] = "1";
            else if (key.endsWith("Offset") || key == "PressAlt")
                expected[item.widget] = "0";
            else
                expected[item.widget] = "";
        }
        expected["LineEditID"] = "station";
        // Back at type 0 the second channel's units list is still the empty
        // one it had under "Custom", so unit 0 is no item.
        expected["ComboBoxAN2Units"] = "-1";

        DialogAnswerer answerer;
        load(answerer, path);
        QVERIFY(answerer.messages().isEmpty());
        QCOMPARE(formState(), expected);
        QCOMPARE(edit("LineEditWUPass")->text(), QString("v-LineEditWUPass"));
        QCOMPARE(edit("LineEditEmailServerPort")->text(), QString("v-LineEditEmailServerPort"));
    }

    void logRateFromAFile_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("index");
        QTest::newRow("past the items") << QByteArray("20") << -1;
        QTest::newRow("not a number") << QByteArray("abc") << 0;
        QTest::newRow("saved empty") << QByteArray("-1") << -1;
        QTest::newRow("last item") << QByteArray("8") << 8;
    }

    void logRateFromAFile()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, index);
        QVERIFY(open());
        box("ComboBoxLogRate")->setCurrentIndex(3);
        const QString path = folder + "rate.ncm";
        writeFile(path, "[General]\nLogRate=" + value + "\n");
        DialogAnswerer answerer;
        load(answerer, path);
        QCOMPARE(box("ComboBoxLogRate")->currentIndex(), index);
    }

    void missingFileIsReportedAndItsFolderRemembered()
    {
        QVERIFY(open());
        fillForm();
        const QMap<QString, QString> before = formState();
        DialogAnswerer answerer;
        load(answerer, folder + "other/absent.ncm");
        QCOMPARE(answerer.messages().size(), 1);
        const DialogAnswerer::Seen message = answerer.messages()[0];
        QCOMPARE(message.text, QString("File not found."));
        QCOMPARE(message.icon, QMessageBox::Critical);
        QCOMPARE(message.title, QString("Talvik"));
        QCOMPARE(message.parent, window.get());
        QCOMPARE(message.buttons.size(), 1);
        QCOMPARE(formState(), before);

        // A cancelled dialog leaves the folder as it was.
        answerer.chooseFile("");
        window->findChild<QPushButton *>("ButtonSave")->click();
        answerer.chooseFile("");
        window->findChild<QPushButton *>("ButtonLoad")->click();
        QCOMPARE(answerer.seen().size(), 4);
        QCOMPARE(answerer.seen()[2].directory, QDir(folder + "other").absolutePath());
        QCOMPARE(answerer.seen()[3].directory, QDir(folder + "other").absolutePath());
        QCOMPARE(answerer.messages().size(), 1);
        QCOMPARE(formState(), before);
    }

    void unusableFileIsRefusedAndLeavesTheFormAlone_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("special"); // "fifo", a path to use, or empty
        QTest::addColumn<QString>("message"); // %1: the file
        // The window's refusal, and after it what is wrong with the line.
        const auto notOurs = [](int line, const QString &reason) {
            return QString("The file \"%1\" is not a configuration file: line %2 is not one "
                           "that Talvik writes. Nothing was loaded. ")
                       .replace("%2", QString::number(line)) +
                   reason;
        };
        const QString escape = "Its value holds an escape that Talvik never writes.";
        const QString typed = "Its value starts with a single '@', which the settings library "
                              "reads as a typed value such as @Variant(...).";
        const QString section = "Talvik's files start with the line [General].";
        const QString control = "The line holds a tab or another control character; Talvik "
                                "writes such characters as escapes.";
        const QString mark = "The file starts with a byte-order mark, which Talvik does not write.";
        const QString general = "[General]\n";
        QTest::newRow("list with a huge count") << general.toLatin1() + "ID=" + HugeList + "\n"
                                                << "" << notOurs(2, escape);
        QTest::newRow("polygon with a huge count")
            << QByteArray("[General]\nAN1Type=@Variant(\\0\\0\\0\\xb7\\x7f\\xff\\xff\\xff)\n") << ""
            << notOurs(2, escape);
        QTest::newRow("polygon with a negative count")
            << QByteArray("[General]\nAN1Type=@Variant(\\0\\0\\0\\xb7\\xb7\\xb7\\xb7\\xb7)\n") << ""
            << notOurs(2, escape);
        QTest::newRow("fuzzed") << FuzzedFile << "" << notOurs(1, section);
        QTest::newRow("escaped at sign")
            << QByteArray("[General]\nID=station\nWUUser=\\x40Rect(1 2 3 4)\n") << ""
            << notOurs(3, typed);
        QTest::newRow("quoted") << "[General]\nID=\"" + HugeList + "\"\n"
                                << "" << notOurs(2, escape);
        QTest::newRow("spaces around =")
            << "[General]\nID = " + HugeList + "\n"
            << ""
            << notOurs(2, "Its key holds characters that Talvik would have escaped, or an "
                          "escape Talvik never writes.");
        QTest::newRow("percent-escaped key") << "[General]\n%49D=" + HugeList + "\n"
                                             << "" << notOurs(2, escape);
        QTest::newRow("unknown key") << "[General]\nID=station\nNote=" + HugeList + "\n"
                                     << "" << notOurs(3, escape);
        QTest::newRow("single at sign")
            << QByteArray("[General]\nID=@home\n") << "" << notOurs(2, typed);
        QTest::newRow("second section")
            << QByteArray("[General]\nID=station\n\n[Other]\nID=x\n") << ""
            << notOurs(4, "Talvik's files hold no section but [General].");
        QTest::newRow("binary") << QByteArray("\x7f"
                                              "ELF\x02\x01\x01\0\0\0",
                                              10)
                                << "" << notOurs(1, control);
        const QString utf16 = "[General]\nID=station\n";
        QTest::newRow("UTF-16") << QByteArray("\xff\xfe") +
                                       QByteArray(reinterpret_cast<const char *>(utf16.utf16()),
                                                  utf16.size() * 2)
                                << "" << notOurs(1, mark);
        QTest::newRow("UTF-8 with a byte-order mark")
            << QByteArray("\xef\xbb\xbf[General]\nID=station\n") << "" << notOurs(1, mark);
        QTest::newRow("raw UTF-8")
            << QByteArray("[General]\nID=Z\xc3\xbcrich\n") << ""
            << notOurs(2, "The line holds bytes past ASCII, such as UTF-8 text; Talvik writes "
                          "such characters as escapes (\\x...).");
        QTest::newRow("raw tab") << QByteArray("[General]\nID=a\tb\n") << "" << notOurs(2, control);
        QTest::newRow("key twice")
            << QByteArray("[General]\nID=a\nLogRate=1\nID=b\n") << ""
            << notOurs(4, "The key \"ID\" stands on line 2 and again on line 4.");
        QTest::newRow("value the settings library quotes")
            << QByteArray("[General]\nID=a,b\n") << ""
            << notOurs(2, "Its value would have been quoted by the settings library: it holds "
                          "';', ',' or '=', or starts or ends with a blank.");
        QTest::newRow("no =") << QByteArray("[General]\nID\n") << ""
                              << notOurs(2, "The line is not of the form key=value.");
        QTest::newRow("line cut in the middle")
            << QByteArray("[General]\nID=station\nTempSl") << ""
            << notOurs(3, "The file ends inside this line, without the line end Talvik "
                          "writes.");
        QTest::newRow("quote cut off")
            << QByteArray("[General]\nID=\"a,b\n") << ""
            << notOurs(2, "Its value holds a quotation mark that is not escaped, or one that "
                          "is never closed.");
        QTest::newRow("CSV") << QByteArray("Date,Time,Temperature\n2024-05-01,12:00,21.5\n") << ""
                             << notOurs(1, section);
        QTest::newRow("none of the keys") << QByteArray("[General]\nOther=1\n") << ""
                                          << "The file \"%1\" holds none of the configuration "
                                             "settings. Nothing was loaded.";
        QTest::newRow("larger than 1 MiB")
            << "[General]\nID=" + QByteArray(1024 * 1024, 'a') + "\n"
            << ""
            << "The file \"%1\" is too large for a configuration file. Nothing was loaded.";
        const QString notAFile = "The file \"%1\" is not a regular file. Nothing was loaded.";
        QTest::newRow("FIFO") << QByteArray() << "fifo" << notAFile;
        // A regular file by its type whose reading fails even for root.
        QTest::newRow("unreadable")
            << QByteArray() << "/proc/self/mem"
            << "Could not read the configuration file \"%1\". Nothing was loaded.";
    }

    void unusableFileIsRefusedAndLeavesTheFormAlone()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, special);
        QFETCH(QString, message);
        QVERIFY(open());
        fillForm();
        const QMap<QString, QString> before = formState();
        QString path = folder + "unusable-" + QTest::currentDataTag() + ".ncm";
        if (special == "fifo") {
            QFile::remove(path);
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (special.startsWith('/')) {
            path = special;
        } else {
            writeFile(path, contents);
        }

        DialogAnswerer answerer;
        answerer.chooseFile(path);
        answerer.pressButton(QMessageBox::Ok);
        window->findChild<QPushButton *>("ButtonLoad")->click();
        QCOMPARE(answerer.messages().size(), 1);
        const DialogAnswerer::Seen seen = answerer.messages()[0];
        QCOMPARE(seen.text, message.arg(path));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(seen.title, QString("Talvik"));
        QVERIFY(seen.expected);
        QCOMPARE(formState(), before);
    }

    void savedFileIsWhatTheSettingsLibraryWritesAndLoadsBack()
    {
        QVERIFY(open());
        fillForm();
        // Every kind of text the form can hold, each quoted or escaped its own way.
        const QMap<QString, QString> texts = {
            {"LineEditID", "@home"},
            {"LineEditAPN", "@@twice"},
            {"LineEditSC", " lead and trail "},
            {"LineEditAN1Units", QString::fromUtf8("\u00e9"
                                                   "1f \u00b0C")},
            {"LineEditAN2Units", QString::fromUtf8("\u20ac \U0001F600")},
            {"LineEditWUUser", "a,b;c=d"},
            {"LineEditEmailTo", "say \"hi\" \\ there"},
            {"LineEditEmailFrom", "tab\there\nnewline"},
            {"LineEditEmailServer", "x\x7f"
                                    "a"},
            {"LineEditEmailUser", "%49D [x] #c"},
            {"LineEditFTPServer", " "},
            {"LineEditFTPUser", "\""},
            {"LineEditWiFiAP", ""},
            {"LineEditWiFiPass", "pass word;"},
        };
        for (auto it = texts.cbegin(); it != texts.cend(); ++it)
            edit(qPrintable(it.key()))->setText(it.value());
        const QMap<QString, QString> saved = formState();

        const QString path = folder + "escapes.ncm";
        DialogAnswerer answerer;
        save(answerer, path);
        QVERIFY(answerer.messages().isEmpty());

        // The same values through the settings library, as the program once saved them.
        const QString reference = folder + "escapes-reference.ncm";
        QFile::remove(reference);
        {
            QSettings settings(reference, QSettings::IniFormat);
            for (const ExpectedItem &item : expectedItems()) {
                if (item.fileKey == nullptr)
                    continue;
                if (item.kind == 'C')
                    settings.setValue(item.fileKey, box(item.widget)->currentIndex());
                else
                    settings.setValue(item.fileKey, edit(item.widget)->text());
            }
        }
        QCOMPARE(readFile(path), readFile(reference));
        QVERIFY(readFile(path).contains("\nID=@@home\n"));

        for (const ExpectedItem &item : expectedItems())
            if (item.fileKey != nullptr && item.kind != 'C')
                edit(item.widget)->setText("other");
        load(answerer, path);
        QVERIFY(answerer.messages().isEmpty());
        QCOMPARE(formState(), saved);
        QCOMPARE(edit("LineEditID")->text(), QString("@home"));
    }

    void saveNeverReadsTheOldFileAndKeepsItWhenWritingFails()
    {
        QVERIFY(open());
        const QString path = folder + "replace/kept.ncm";
        QVERIFY(QDir().mkpath(folder + "replace"));
        // The settings library crashed parsing such an old file before writing.
        const QByteArray crafted =
            "[General]\nAN1Type=@Variant(\\0\\0\\0\\xb7\\x7f\\xff\\xff\\xff)\n";
        writeFile(path, crafted);
        edit("LineEditID")->setText("first");
        DialogAnswerer answerer;
        save(answerer, path);
        QVERIFY(answerer.messages().isEmpty());
        const QByteArray good = readFile(path);
        QVERIFY(good.startsWith("[General]\n"));
        QVERIFY(good.contains("\nID=first\n"));
        QVERIFY(!good.contains("Variant"));

        // A disk that fills up in the middle of the file.
        edit("LineEditID")->setText("second");
        struct rlimit limit;
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const struct rlimit small = {64, limit.rlim_max};
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        answerer.chooseFile(path);
        answerer.pressButton(QMessageBox::Ok);
        window->findChild<QPushButton *>("ButtonSave")->click();
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(answerer.messages().size(), 1);
        QCOMPARE(answerer.messages()[0].text, QString("Failed to save configuration file."));
        QCOMPARE(readFile(path), good);
        QCOMPARE(QDir(folder + "replace").entryList(QDir::Files | QDir::Hidden),
                 QStringList{"kept.ncm"});
    }

    void fileThatCannotBeWrittenIsReported()
    {
        QVERIFY(open());
        // No one, root included, can make a file in /proc.
        const QString path = "/proc/talvik-settings.ncm";
        DialogAnswerer answerer;
        answerer.chooseFile(path);
        answerer.pressButton(QMessageBox::Ok);
        window->findChild<QPushButton *>("ButtonSave")->click();
        QCOMPARE(answerer.messages().size(), 1);
        const DialogAnswerer::Seen message = answerer.messages()[0];
        QCOMPARE(message.text, QString("Failed to save configuration file."));
        QCOMPARE(message.icon, QMessageBox::Critical);
        QCOMPARE(message.title, QString("Talvik"));
        QCOMPARE(message.parent, window.get());
        QVERIFY(message.expected);
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_MAIN(ConfigFileTest)
#include "tst_configfile.moc"
