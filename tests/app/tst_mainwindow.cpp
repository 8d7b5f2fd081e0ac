#include "app/talvik.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"
#include "ui_talvik.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QThread>

#include <memory>

namespace
{

const QStringList ActionButtons = {
    "ButtonUpdateFirmware", "ButtonDownloadFullLog", "ButtonDownloadPartLog",
    "ButtonRead",           "ButtonWrite",           "ButtonLoad",
    "ButtonSave",           "ButtonSetSN",           "ButtonEraseLog",
    "ButtonDisableCell"};

const QStringList Rates = {"None",      "1 Minute",  "2 Minute",  "5 Minute", "10 Minute",
                           "15 Minute", "20 Minute", "30 Minute", "1 Hour"};
const QStringList Periods = {"None", "Hourly", "Daily", "Weekly", "Monthly"};
const QStringList AnalogTypes = {"None",   "Soil Temperature", "Soil Moisture", "Solar Radiation",
                                 "Custom", "Globe Temp"};

QStringList itemsOf(const QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items.append(box->itemText(i));
    return items;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Talvik> window;

    Talvik &open()
    {
        window = std::make_unique<Talvik>();
        window->show();
        return *window;
    }

    template <typename T> T *widget(const char *name)
    {
        T *found = window->findChild<T *>(name);
        if (found == nullptr)
            qWarning("no %s", name);
        return found;
    }

    bool allActionButtonsEnabled(bool enabled)
    {
        for (const QString &name : ActionButtons)
            if (window->findChild<QPushButton *>(name)->isEnabled() != enabled)
                return false;
        return true;
    }

private slots:
    void initTestCase()
    {
        testenv::isolateSettings();
        QFont font = QApplication::font();
        font.setPixelSize(11);
        QApplication::setFont(font);
    }

    void init()
    {
        sim::reset();
        testenv::removeTalvikIni();
        QSettings("Norvale", "Talvik").clear();
    }

    void cleanup()
    {
        window.reset();
        sim::reset();
    }

    void formHoldsEveryFieldWithItsItemsAndLimits()
    {
        open();
        QCOMPARE(window->size(), QSize(610, 400));
        QCOMPARE(window->windowTitle(), QString("Norvale Control Module Utility"));
        QCOMPARE(window->objectName(), QString("TalvikClass"));

        const QList<QPair<const char *, QStringList>> boxes = {
            {"ComboBoxFan", {"Off", "On", "Daylight"}},
            {"ComboBoxDL", Rates},
            {"ComboBoxLogRate", Rates},
            {"ComboBoxLogEmailRate", Periods},
            {"ComboBoxLogFTPRate", Periods},
            {"ComboBoxTempUnits", {QString::fromUtf8("\u00B0C"), QString::fromUtf8("\u00B0F")}},
            {"ComboBoxPressUnits", {"mbar", "inHg", "mmHg", "hPa", "kPa"}},
            {"ComboBoxWindUnits", {"m/s", "mph", "kph", "Knots"}},
            {"ComboBoxAN1Type", AnalogTypes},
            {"ComboBoxAN2Type", AnalogTypes},
            {"ComboBoxRainType", {"None", "Millimeter", "Inch"}},
            {"ComboBoxWURate",
             {"None", "10 Minute", "15 Minute", "20 Minute", "30 Minute", "1 Hour"}},
            {"ComboBoxLightning", {"Not Installed", "Installed"}},
        };
        for (const auto &box : boxes) {
            auto *combo = widget<QComboBox>(box.first);
            QVERIFY2(combo != nullptr, box.first);
            QCOMPARE(itemsOf(combo), box.second);
            QVERIFY(!combo->isEditable());
        }

        const QList<QPair<const char *, int>> limits = {
            {"LineEditID", 20},           {"LineEditTempSlope", 15},
            {"LineEditTempOffset", 15},   {"LineEditHumidSlope", 15},
            {"LineEditHumidOffset", 15},  {"LineEditPressAlt", 15},
            {"LineEditPressSlope", 15},   {"LineEditPressOffset", 15},
            {"LineEditWindSlope", 15},    {"LineEditWindOffset", 15},
            {"LineEditAN1Units", 15},     {"LineEditAN1A", 15},
            {"LineEditAN1B", 15},         {"LineEditAN1C", 15},
            {"LineEditAN1D", 15},         {"LineEditAN1Ref", 15},
            {"LineEditAN2Units", 15},     {"LineEditAN2A", 15},
            {"LineEditAN2B", 15},         {"LineEditAN2C", 15},
            {"LineEditAN2D", 15},         {"LineEditAN2Ref", 15},
            {"LineEditRainInc", 15},      {"LineEditWUUser", 20},
            {"LineEditWUPass", 20},       {"LineEditWUPassVer", 20},
            {"LineEditEmailTo", 40},      {"LineEditEmailFrom", 40},
            {"LineEditEmailServer", 40},  {"LineEditEmailServerPort", 40},
            {"LineEditEmailUser", 40},    {"LineEditEmailPass", 40},
            {"LineEditEmailPassVer", 40}, {"LineEditFTPServer", 40},
            {"LineEditFTPUser", 40},      {"LineEditFTPPass", 40},
            {"LineEditFTPPassVer", 40},   {"LineEditSC", 16},
            {"LineEditAPN", 20},          {"LineEditWiFiAP", 32},
            {"LineEditWiFiPass", 50},
        };
        const QStringList masked = {"LineEditWUPass",    "LineEditWUPassVer",
                                    "LineEditEmailPass", "LineEditEmailPassVer",
                                    "LineEditFTPPass",   "LineEditFTPPassVer"};
        for (const auto &limit : limits) {
            auto *edit = widget<QLineEdit>(limit.first);
            QVERIFY2(edit != nullptr, limit.first);
            QCOMPARE(edit->maxLength(), limit.second);
            QVERIFY(edit->text().isEmpty());
            QCOMPARE(edit->echoMode(),
                     masked.contains(limit.first) ? QLineEdit::Password : QLineEdit::Normal);
        }
        // Text put in by code is cut like typed text.
        widget<QLineEdit>("LineEditID")->setText(QString(25, 'x'));
        QCOMPARE(widget<QLineEdit>("LineEditID")->text(), QString(20, 'x'));

        QCOMPARE(widget<QLabel>("LabelSN")->text(), QString("Serial Number: "));
        QCOMPARE(widget<QLabel>("LabelVer")->text(), QString("Software Version: "));
        for (const char *name : {"LabelWUPass", "LabelEmailPass", "LabelFTPPass"}) {
            QCOMPARE(widget<QLabel>(name)->text(), QString("Passwords do not match!"));
            QCOMPARE(widget<QLabel>(name)->styleSheet(), QString("color: rgb(255, 0, 0);"));
        }
        QCOMPARE(window->statusBar()->styleSheet(),
                 QString("QStatusBar {\n\tbackground-color: rgb(210, 210, 210);\n}"));
        QVERIFY(!window->statusBar()->isSizeGripEnabled());
        QCOMPARE(widget<QCheckBox>("CheckBoxSetTime")->text(), QString("Set Time When Connecting"));

        const QStringList buttonTexts = {"Update\nFirmware",
                                         "Download\nFull Log",
                                         "Download\nPartial Log",
                                         "Read\nModule\nConfiguration",
                                         "Write\nModule\nConfiguration",
                                         "Load\nConfiguration\nFile",
                                         "Save\nConfiguration\nFile",
                                         "Set SN",
                                         "Erase Log",
                                         "Enable/Disable\nCell"};
        for (int i = 0; i < ActionButtons.size(); ++i)
            QCOMPARE(window->findChild<QPushButton *>(ActionButtons[i])->text(), buttonTexts[i]);

        auto *menu = widget<QMenu>("menuFile");
        QCOMPARE(menu->title(), QString("File"));
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions()[0]->text(), QString("About"));
        QCOMPARE(menu->actions()[1]->text(), QString("Exit"));
    }

    void pagesComeInOrderAndTheFormAloneEndsOnTheLast()
    {
        QMainWindow plain;
        Ui::TalvikClass form;
        form.setupUi(&plain);
        const QStringList names = {"General", "TPH",   "WDS", "Analog",    "Rain",
                                   "WU",      "Email", "FTP", "Lightning", "Cell"};
        const QStringList titles = {"General", "TPH",   "Wind", "Analog",    "Rain",
                                    "WU",      "Email", "FTP",  "Lightning", "Cell / WiFi"};
        QCOMPARE(form.TabWidget->count(), 10);
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(form.TabWidget->widget(i)->objectName(), names[i]);
            QCOMPARE(form.TabWidget->tabText(i), titles[i]);
        }
        QCOMPARE(form.TabWidget->currentIndex(), 9);
        QVERIFY(!form.LabelWUPass->isHidden());
        QVERIFY(!form.ButtonRead->isEnabled());
    }

    void tabKeyFollowsTheFormsChain()
    {
        open();
        const QStringList chain = {"TabWidget",
                                   "LineEditID",
                                   "ComboBoxLogRate",
                                   "ComboBoxLogEmailRate",
                                   "ComboBoxLogFTPRate",
                                   "ComboBoxFan",
                                   "ButtonEraseLog",
                                   "ButtonSetSN",
                                   "ComboBoxTempUnits",
                                   "LineEditTempSlope",
                                   "LineEditTempOffset",
                                   "LineEditHumidSlope",
                                   "LineEditHumidOffset",
                                   "ComboBoxPressUnits",
                                   "LineEditPressAlt",
                                   "LineEditPressSlope",
                                   "LineEditPressOffset",
                                   "ComboBoxWindUnits",
                                   "LineEditWindSlope",
                                   "LineEditWindOffset",
                                   "ComboBoxAN1Type",
                                   "LineEditAN1Units",
                                   "ComboBoxAN1Units",
                                   "LineEditAN1A",
                                   "LineEditAN1B",
                                   "LineEditAN1C",
                                   "LineEditAN1D",
                                   "LineEditAN1Ref",
                                   "ComboBoxAN2Type",
                                   "LineEditAN2Units",
                                   "ComboBoxAN2Units",
                                   "LineEditAN2A",
                                   "LineEditAN2B",
                                   "LineEditAN2C",
                                   "LineEditAN2D",
                                   "LineEditAN2Ref",
                                   "ComboBoxRainType",
                                   "LineEditRainInc",
                                   "ComboBoxWURate",
                                   "LineEditWUUser",
                                   "LineEditWUPass",
                                   "LineEditWUPassVer",
                                   "LineEditEmailTo",
                                   "LineEditEmailFrom",
                                   "LineEditEmailServer",
                                   "LineEditEmailUser",
                                   "LineEditEmailPass",
                                   "LineEditEmailPassVer",
                                   "LineEditFTPServer",
                                   "LineEditFTPUser",
                                   "LineEditFTPPass",
                                   "LineEditFTPPassVer",
                                   "ButtonRead",
                                   "ButtonWrite",
                                   "ButtonLoad",
                                   "ButtonSave",
                                   "ButtonDownloadFullLog",
                                   "ButtonDownloadPartLog"};
        // Walking the focus chain from each widget, the next widget of the
        // list comes before any other widget of the list.
        for (int i = 0; i + 1 < chain.size(); ++i) {
            QWidget *current = window->findChild<QWidget *>(chain[i]);
            QVERIFY2(current != nullptr, qPrintable(chain[i]));
            QString reached;
            for (QWidget *w = current->nextInFocusChain(); w != current; w = w->nextInFocusChain())
                if (chain.contains(w->objectName())) {
                    reached = w->objectName();
                    break;
                }
            QCOMPARE(reached, chain[i + 1]);
        }
    }

    void slotsAreDeclaredInDispatchOrder()
    {
        const QStringList expected = {"openFailed()",
                                      "openSuccess()",
                                      "on_About()",
                                      "on_ButtonDownloadFullLog_clicked()",
                                      "on_ButtonDownloadPartLog_clicked()",
                                      "on_ButtonRead_clicked()",
                                      "on_ButtonWrite_clicked()",
                                      "on_ButtonLoad_clicked()",
                                      "on_ButtonSave_clicked()",
                                      "on_ButtonSetSN_clicked()",
                                      "on_ButtonEraseLog_clicked()",
                                      "on_ButtonUpdateFirmware_clicked()",
                                      "on_ButtonDisableCell_clicked()",
                                      "on_ComboBoxAN1Type_currentIndexChanged(int)",
                                      "on_ComboBoxAN2Type_currentIndexChanged(int)",
                                      "on_LineEditWUPass_textChanged(QString)",
                                      "on_LineEditWUPassVer_textChanged(QString)",
                                      "on_LineEditEmailPass_textChanged(QString)",
                                      "on_LineEditEmailPassVer_textChanged(QString)",
                                      "on_LineEditFTPPass_textChanged(QString)",
                                      "on_LineEditFTPPassVer_textChanged(QString)",
                                      "on_CheckBoxSetTime_stateChanged(int)"};
        const QMetaObject &meta = Talvik::staticMetaObject;
        QStringList declared;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            const QMetaMethod method = meta.method(i);
            QCOMPARE(method.methodType(), QMetaMethod::Slot);
            QCOMPARE(method.access(), QMetaMethod::Private);
            declared.append(QString::fromLatin1(method.methodSignature()));
        }
        QCOMPARE(declared, expected);
    }

    void withoutModuleTheWindowStaysDisconnected()
    {
        open();
        QVERIFY(testenv::waitForStatus(*window, "Disconnected"));
        QTest::qWait(700); // past the next open attempt
        QCOMPARE(window->statusBar()->currentMessage(), QString("Disconnected"));
        QVERIFY(allActionButtonsEnabled(false));
        QCOMPARE(widget<QTabWidget>("TabWidget")->currentIndex(), 0);
        for (const char *name : {"LabelWUPass", "LabelEmailPass", "LabelFTPPass"})
            QVERIFY(widget<QLabel>(name)->isHidden());
    }

    void pluggingEnablesTheButtonsAndUnpluggingDisablesThem()
    {
        open();
        QVERIFY(testenv::waitForStatus(*window, "Disconnected"));
        sim::plug();
        QVERIFY(testenv::waitForStatus(*window, "Connected"));
        QVERIFY(allActionButtonsEnabled(true));
        sim::unplug();
        QVERIFY(testenv::waitForStatus(*window, "Disconnected"));
        QVERIFY(allActionButtonsEnabled(false));
        sim::plug();
        QVERIFY(testenv::waitForStatus(*window, "Connected"));
        QVERIFY(allActionButtonsEnabled(true));
    }

    void tickingTheBoxWithoutAModuleSendsNothing()
    {
        // Restored from the preference, and ticked again by hand while no
        // module is there: neither reaches the module or shows a failure.
        QSettings("Norvale", "Talvik").setValue("SetTime", true);
        window = std::make_unique<Talvik>();
        window->show();
        QVERIFY(widget<QCheckBox>("CheckBoxSetTime")->isChecked());
        QVERIFY(testenv::waitForStatus(*window, "Disconnected"));
        DialogAnswerer answers;
        auto *box = widget<QCheckBox>("CheckBoxSetTime");
        box->setChecked(false);
        box->setChecked(true);
        QTest::qWait(50);
        QCOMPARE(answers.seen().size(), 0);
        QVERIFY(sim::writtenReports().empty());
    }

    void tickingTheBoxStoresThePreference()
    {
        open();
        auto *box = widget<QCheckBox>("CheckBoxSetTime");
        QVERIFY(!box->isChecked());
        box->setChecked(true);
        QCOMPARE(QSettings("Norvale", "Talvik").value("SetTime").toBool(), true);
        box->setChecked(false);
        QCOMPARE(QSettings("Norvale", "Talvik").value("SetTime").toBool(), false);
    }

    void tickingBeforeTheConnectionIsReportedOnlyStoresThePreference()
    {
        // The port has the module open, but the window has not heard of it
        // yet: it is still disconnected, so the tick sends nothing, and the
        // clock is set once the connection is reported.
        sim::freshModule();
        window = std::make_unique<Talvik>();
        QElapsedTimer spin;
        spin.start();
        while (sim::openCount() == 0 && spin.elapsed() < 2000)
            QThread::msleep(1);
        QThread::msleep(50);
        QCOMPARE(window->statusBar()->currentMessage(), QString("Disconnected"));

        widget<QCheckBox>("CheckBoxSetTime")->setChecked(true);
        QCOMPARE(QSettings("Norvale", "Talvik").value("SetTime").toBool(), true);
        QVERIFY(sim::writtenReports().empty());

        QVERIFY(testenv::waitForStatus(*window, "Connected"));
        const auto written = sim::writtenReports();
        QCOMPARE(written.size(), size_t(1));
        QCOMPARE(int(written[0].bytes[1]), 0x08);
    }

    void featureSwitchesShowTheirButtons_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<bool>("setSnShown");
        QTest::addColumn<bool>("eraseShown");
        QTest::newRow("no file") << QString() << false << false;
        QTest::newRow("development only") << "Development=true\nLogErase=false\n" << true << false;
        QTest::newRow("log erase as 1") << "LogErase=1\n" << false << true;
        QTest::newRow("both") << "Development=true\nLogErase=true\n" << true << true;
        QTest::newRow("in a group") << "[Switches]\nDevelopment=true\n" << false << false;
    }

    void featureSwitchesShowTheirButtons()
    {
        QFETCH(QString, ini);
        QFETCH(bool, setSnShown);
        QFETCH(bool, eraseShown);
        if (!ini.isNull())
            testenv::writeTalvikIni(ini);
        open();
        QCOMPARE(widget<QPushButton>("ButtonSetSN")->isVisible(), setSnShown);
        QCOMPARE(widget<QPushButton>("ButtonEraseLog")->isVisible(), eraseShown);
        QVERIFY(widget<QPushButton>("ButtonUpdateFirmware")->isVisible());
    }

    void aboutShowsTheProgramAndItsVersion()
    {
        open();
        DialogAnswerer answerer;
        answerer.pressButton(QMessageBox::Ok);
        widget<QAction>("actionAbout")->trigger();
        QCOMPARE(answerer.messages().size(), 1);
        const DialogAnswerer::Seen about = answerer.messages().first();
        QCOMPARE(about.title, QString("About Talvik"));
        QCOMPARE(about.text, QString("Norvale Control Module Utility\nVersion: 1.0.0"));
        QCOMPARE(about.icon, QMessageBox::NoIcon);
        QCOMPARE(about.buttons.size(), 1);
        QCOMPARE(about.parent, window.get());
        QVERIFY(about.expected);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
