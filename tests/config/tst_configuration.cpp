#include "app/talvik.h"
#include "config/configurationtransfer.h"
#include "core/operationprogress.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "tests/config/modulevalues.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"
#include "usb/modulesession.h"
#include "usb/qusbport.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using config::Configuration;

// The configuration without the window: what talvik-cli does with a file or a
// module must be what a freshly started window does.
class ConfigurationTest : public QObject
{
    Q_OBJECT

    static QList<QByteArray> wire()
    {
        QList<QByteArray> reports;
        for (const sim::WrittenReport &written : sim::writtenReports())
            reports.append(QByteArray(reinterpret_cast<const char *>(written.bytes.data()),
                                      static_cast<int>(written.bytes.size())));
        return reports;
    }

    static QString scratch(const QString &name) { return testenv::scratchDirectory() + "/" + name; }

    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
    }

    // Every number valid, so that the write checks let it through, and both
    // channels on types whose units a fresh form cannot all select.
    static Configuration sendableConfiguration()
    {
        Configuration configuration = Configuration::freshForm();
        for (const config::Parameter &parameter : config::ParameterMap)
            if (parameter.kind == config::Kind::Float)
                configuration.setValue(Configuration::keyOf(parameter),
                                       QString::number(parameter.index + 0.5));
        configuration.setValue("AN1Type", "1");
        configuration.setValue("AN1Units", "1");
        configuration.setValue("AN2Type", "4");
        configuration.setValue("AN2Units", "0");
        configuration.setValue("AN2Units2", "lux");
        configuration.setValue("LogRate", "20");
        configuration.setValue("ID", "@Station, \"7\"");
        configuration.setValue("WiFiPass", "secret");
        return configuration;
    }

private slots:
    void initTestCase() { testenv::isolateSettings(); }
    void init() { sim::freshModule(false); }
    void cleanup() { sim::reset(); }

    void freshWindowHoldsTheFreshForm()
    {
        std::unique_ptr<Talvik> window = testenv::openConnectedWindow();
        QVERIFY(window != nullptr);
        const Configuration fresh = Configuration::freshForm();
        Configuration form;
        for (const config::Parameter &parameter : config::ParameterMap) {
            const QString key = Configuration::keyOf(parameter);
            if (parameter.kind == config::Kind::Choice) {
                auto *box = window->findChild<QComboBox *>(parameter.widget);
                form.setValue(key, QString::number(box->currentIndex()));
                QCOMPARE(config::choiceCount(fresh, parameter), box->count());
            } else {
                form.setValue(key, window->findChild<QLineEdit *>(parameter.widget)->text());
            }
        }
        for (const config::PasswordPair &pair : config::PasswordPairs)
            form.setValue(pair.verify, window->findChild<QLineEdit *>(pair.verify)->text());
        QVERIFY(form == fresh);
    }

    void writeOfALoadedFileSendsWhatAFreshWindowSends()
    {
        const QString path = scratch("sendable.ncm");
        // A log rate that is none of the box's items stops the window's Write.
        Configuration sendable = sendableConfiguration();
        sendable.setValue("LogRate", "8");
        QVERIFY(config::saveConfigurationFile(path, sendable).succeeded());

        std::unique_ptr<Talvik> window = testenv::openConnectedWindow();
        QVERIFY(window != nullptr);
        {
            DialogAnswerer answerer;
            answerer.chooseFile(path);
            window->findChild<QPushButton *>("ButtonLoad")->click();
            answerer.pressButton(QMessageBox::Ok);
            answerer.pressButton(QMessageBox::Ok);
            window->findChild<QPushButton *>("ButtonWrite")->click();
            QCOMPARE(answerer.messages().size(), 2);
            QCOMPARE(answerer.messages()[1].text, QString("Settings written to unit."));
        }
        window.reset();
        const QList<QByteArray> windowWire = wire();
        sim::clearWrittenReports();

        Configuration configuration = Configuration::freshForm();
        QVERIFY(config::loadConfigurationFile(path, configuration).succeeded());
        QCOMPARE(config::passwordMismatch(configuration), QString());
        QCOMPARE(config::unsendableField(configuration), QString());
        testenv::CoreSession core;
        QVERIFY(core.waitUntilOpen());
        NoProgress progress;
        QCOMPARE(config::writeConfiguration(core.session, progress, configuration).message(),
                 QString("Settings written to unit."));
        QCOMPARE(wire(), windowWire);
        // The EEPROM query, then all but the port and the three blank passwords.
        QCOMPARE(windowWire.size(), 1 + 49);
    }

    void readThenSaveSavesWhatAFreshWindowSaves()
    {
        fillModuleWithTestValues();
        const QString windowFile = scratch("window-read.ncm");
        std::unique_ptr<Talvik> window = testenv::openConnectedWindow();
        QVERIFY(window != nullptr);
        {
            DialogAnswerer answerer;
            answerer.pressButton(QMessageBox::Ok);
            window->findChild<QPushButton *>("ButtonRead")->click();
            answerer.chooseFile(windowFile);
            window->findChild<QPushButton *>("ButtonSave")->click();
            QCOMPARE(answerer.messages().size(), 1);
            QCOMPARE(answerer.messages()[0].text, QString("Settings read from unit."));
        }
        window.reset();

        Configuration configuration = Configuration::freshForm();
        config::ModuleIdentity identity;
        config::ReadListener listener;
        NoProgress progress;
        testenv::CoreSession core;
        QVERIFY(core.waitUntilOpen());
        const OperationResult read =
            config::readConfiguration(core.session, progress, configuration, identity, listener);
        QVERIFY(read.succeeded());
        QCOMPARE(read.message(), QString("Settings read from unit."));
        const QString coreFile = scratch("core-read.ncm");
        QVERIFY(config::saveConfigurationFile(coreFile, configuration).succeeded());
        QCOMPARE(contents(coreFile), contents(windowFile));
        QCOMPARE(configuration.value("LineEditEmailServerPort"), QString("-25536"));
    }

    void unsendableFieldFollowsTheAnalogTypes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name"); // empty: the field is not checked
        const QString euro = QString::fromUtf8("\u20ac");
        QTest::newRow("none hides A") << 0 << "AN2A"
                                      << "x" << QString();
        QTest::newRow("soil temperature shows A") << 1 << "AN2A"
                                                  << "x"
                                                  << "Analog 2 A";
        QTest::newRow("soil temperature shows Ref") << 1 << "AN2R"
                                                    << "x"
                                                    << "Analog 2 Ref";
        QTest::newRow("soil temperature hides the units text")
            << 1 << "AN2Units2" << euro << QString();
        QTest::newRow("soil moisture renames B") << 2 << "AN2B"
                                                 << "x"
                                                 << "Analog 2 Offset";
        QTest::newRow("solar radiation hides C") << 3 << "AN2C"
                                                 << "x" << QString();
        QTest::newRow("custom shows the units text")
            << 4 << "AN2Units2" << euro << "Analog 2 Display Units";
        QTest::newRow("custom hides D") << 4 << "AN2D"
                                        << "x" << QString();
        QTest::newRow("globe temperature shows nothing") << 5 << "AN2A"
                                                         << "x" << QString();
        QTest::newRow("no type shows nothing") << -1 << "AN2B"
                                               << "x" << QString();
    }

    void unsendableFieldFollowsTheAnalogTypes()
    {
        QFETCH(int, type);
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QString, name);
        Configuration configuration = sendableConfiguration();
        configuration.setValue("AN2Type", QString::number(type));
        configuration.setValue(key, text);
        const QString problem = config::unsendableField(configuration);
        if (name.isEmpty())
            QCOMPARE(problem, QString());
        else
            QVERIFY2(problem.startsWith("The field \"" + name + "\" on the page \"Analog\""),
                     qPrintable(problem));
    }

    void loadAndSaveRoundTripAndKeepWhatFilesDoNotHold()
    {
        const QString first = scratch("first.ncm");
        const Configuration original = sendableConfiguration();
        QVERIFY(config::saveConfigurationFile(first, original).succeeded());

        Configuration loaded = Configuration::freshForm();
        loaded.setValue("LineEditFTPPass", "kept");
        loaded.setValue("LineEditFTPPassVer", "kept");
        loaded.setValue("LineEditEmailServerPort", "587");
        QVERIFY(config::loadConfigurationFile(first, loaded).succeeded());
        for (const config::Parameter &parameter : config::ParameterMap) {
            if (parameter.fileKey == nullptr)
                continue;
            const QString key = parameter.fileKey;
            // A fresh form's custom channel offers no units to select.
            const QString expected = key == "AN2Units"  ? "-1"
                                     : key == "LogRate" ? "-1"
                                                        : original.value(key);
            QCOMPARE(loaded.value(key), expected);
        }
        QCOMPARE(loaded.value("LineEditFTPPass"), QString("kept"));
        QCOMPARE(loaded.value("LineEditFTPPassVer"), QString("kept"));
        QCOMPARE(loaded.value("LineEditEmailServerPort"), QString("587"));
        QCOMPARE(loaded.value("LineEditWUPass"), QString());

        const QString second = scratch("second.ncm");
        QVERIFY(config::saveConfigurationFile(second, loaded).succeeded());
        QByteArray expected = contents(first);
        expected.replace("AN2Units=0", "AN2Units=-1").replace("LogRate=20", "LogRate=-1");
        QCOMPARE(contents(second), expected);

        // Keys the file lacks take their defaults, over what the type put in.
        QFile partial(scratch("partial.ncm"));
        QVERIFY(partial.open(QIODevice::WriteOnly));
        partial.write("[General]\nAN1Type=2\n");
        partial.close();
        QVERIFY(config::loadConfigurationFile(partial.fileName(), loaded).succeeded());
        QCOMPARE(loaded.value("AN1Units"), QString("0"));
        QCOMPARE(loaded.value("AN1A"), QString());
        QCOMPARE(loaded.value("TempSlope"), QString("1"));
        QCOMPARE(loaded.value("ID"), QString());

        const Configuration before = loaded;
        QCOMPARE(config::loadConfigurationFile(scratch("missing.ncm"), loaded).message(),
                 QString("File not found."));
        QVERIFY(loaded == before);
    }
};

QTEST_MAIN(ConfigurationTest)
#include "tst_configuration.moc"
