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
#include <QTest>

#include <memory>

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
