#include "app/talvik.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "tests/maintenance/modulewire.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTest>

#include <memory>

namespace
{
QByteArray padded(const QByteArray &payload)
{
    return payload + QByteArray(64 - payload.size(), '\0');
}

QDateTime clockFrameTime(const QByteArray &frame)
{
    auto at = [&](int i) { return static_cast<unsigned char>(frame[i]); };
    return QDateTime(QDate(2000 + at(1), at(2), at(3)), QTime(at(4), at(5), at(6)));
}
} // namespace

class ServiceCommandsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Talvik> window;

    bool connectWindow()
    {
        window = std::make_unique<Talvik>();
        window->show();
        sim::plug();
        return testenv::waitForStatus(*window, "Connected");
    }

    void click(const char *button) { window->findChild<QPushButton *>(button)->click(); }
    QCheckBox *setTimeBox() { return window->findChild<QCheckBox *>("CheckBoxSetTime"); }
    QString serialLabel() { return window->findChild<QLabel *>("LabelSN")->text(); }

    void verifyOnlyMessage(const DialogAnswerer &answers, QMessageBox::Icon icon,
                           const QString &text)
    {
        QCOMPARE(answers.unexpected(), 0);
        QCOMPARE(answers.messages().size(), 1);
        const DialogAnswerer::Seen message = answers.messages().first();
        QCOMPARE(message.text, text);
        QCOMPARE(message.icon, icon);
        QCOMPARE(message.title, QString("Talvik"));
        QCOMPARE(message.buttons, QStringList{"OK"});
        QCOMPARE(message.parent, window.get());
    }

    // Checks one clock frame against the local time around the moment it
    // was sent; this process runs eight hours west of UTC.
    void verifyClockFrame(const QByteArray &frame, const QDateTime &before, const QDateTime &after)
    {
        QCOMPARE(frame.left(1), bytes({0x08}));
        QCOMPARE(frame.mid(8), QByteArray(56, '\0'));
        QCOMPARE(static_cast<qint8>(frame[7]), qint8(-32));
        const QDateTime sent = clockFrameTime(frame);
        QVERIFY2(sent >= before.addMSecs(-before.time().msec()) && sent <= after,
                 qPrintable(sent.toString(Qt::ISODate)));
    }

private slots:
    void initTestCase()
    {
        // A fixed zone without daylight saving, west of UTC.
        qputenv("TZ", "PST8");
        testenv::isolateSettings();
        testenv::writeTalvikIni("Development=true\nLogErase=true\n");
    }

    void cleanupTestCase() { testenv::removeTalvikIni(); }

    void init()
    {
        sim::freshModule(false);
        QSettings("Norvale", "Talvik").clear();
    }

    void cleanup()
    {
        window.reset();
        sim::reset();
    }

    void tickingTheBoxWhileConnectedSetsTheClockAndUntickingSendsNothing()
    {
        QVERIFY(connectWindow());
        QVERIFY(writtenPayloads().isEmpty());
        DialogAnswerer answers;

        const QDateTime before = QDateTime::currentDateTime();
        setTimeBox()->setChecked(true);
        const QDateTime after = QDateTime::currentDateTime();
        QCOMPARE(writtenPayloads().size(), 1);
        verifyClockFrame(writtenPayloads().first(), before, after);
        QCOMPARE(sim::module().clockSetCount(), 1);

        setTimeBox()->setChecked(false);
        QCOMPARE(writtenPayloads().size(), 1);
        QCOMPARE(answers.seen().size(), 0);

        // A module that answers with another code did not take the time.
        sim::module().answerWrongCode(0x01, 1, 0x08);
        answers.pressButton(QMessageBox::Ok);
        setTimeBox()->setChecked(true);
        QCOMPARE(writtenPayloads().size(), 2);
        verifyOnlyMessage(answers, QMessageBox::Critical, "Failed to set time.");
    }

    void storedPreferenceSetsTheClockOnConnectionOnly()
    {
        QSettings("Norvale", "Talvik").setValue("SetTime", true);
        DialogAnswerer answers;
        const QDateTime before = QDateTime::currentDateTime();
        QVERIFY(connectWindow());
        const QDateTime after = QDateTime::currentDateTime();
        QVERIFY(setTimeBox()->isChecked());
        QCOMPARE(writtenPayloads().size(), 1);
        verifyClockFrame(writtenPayloads().first(), before, after);
        QCOMPARE(sim::module().clockSetCount(), 1);
        QCOMPARE(answers.seen().size(), 0);
    }

    void clockIsSetOnEveryConnectionBeforeTheButtonsAreEnabled()
    {
        QSettings("Norvale", "Talvik").setValue("SetTime", true);
        // Whether the action buttons were already usable when each clock
        // frame reached the module.
        auto buttonsUsableAtClock = std::make_shared<QList<bool>>();
        sim::setResponder([this, buttonsUsableAtClock](const unsigned char *payload) {
            if (payload[0] != 0x08)
                return std::vector<sim::Report>{};
            buttonsUsableAtClock->append(
                window->findChild<QPushButton *>("ButtonUpdateFirmware")->isEnabled());
            return std::vector<sim::Report>{report(bytes({0x08}))};
        });
        DialogAnswerer answers;
        QVERIFY(connectWindow());
        QCOMPARE(*buttonsUsableAtClock, QList<bool>{false});

        // While the module is away, ticking the box has nothing to talk to
        // and must not complain.
        sim::unplug();
        QVERIFY(testenv::waitForStatus(*window, "Disconnected"));
        setTimeBox()->setChecked(false);
        setTimeBox()->setChecked(true);
        QCOMPARE(*buttonsUsableAtClock, QList<bool>{false});

        sim::plug();
        QVERIFY(testenv::waitForStatus(*window, "Connected"));
        QCOMPARE(*buttonsUsableAtClock, (QList<bool>{false, false}));
        QCOMPARE(writtenPayloads().size(), 2);
        QCOMPARE(answers.seen().size(), 0);
        sim::setResponder(nullptr);
    }

    void serialNumberIsSetAndTheModulesOwnNumberShown()
    {
        sim::module().setSerialNumber(20471);
        QVERIFY(connectWindow());
        DialogAnswerer answers;
        answers.cancelInput();
        click("ButtonSetSN");
        QVERIFY(writtenPayloads().isEmpty());
        QCOMPARE(answers.seen().first().kind, QString("input"));
        QCOMPARE(answers.seen().first().title, QString("Set Serial Number"));
        QCOMPARE(answers.seen().first().text, QString("Enter Serial Number"));
        QCOMPARE(answers.seen().first().parent, window.get());

        answers.enterInteger(0);
        answers.pressButton(QMessageBox::Ok);
        click("ButtonSetSN");
        QCOMPARE(writtenPayloads(), (QList<QByteArray>{padded(bytes({0x01, 0xA5, 0, 0, 0, 0})),
                                                       padded(bytes({0x01}))}));
        verifyOnlyMessage(answers, QMessageBox::Information, "Serial Number set.");
        QCOMPARE(sim::module().serialNumber(), 0u);
        QCOMPARE(serialLabel(), QString("Serial Number: 0"));

        // The label shows what the module reports, as an unsigned number.
        sim::clearWrittenReports();
        sim::setResponder([](const unsigned char *payload) -> std::vector<sim::Report> {
            if (payload[0] != 0x01)
                return {};
            if (payload[1] == 0xA5)
                return {report(bytes({0x01}))};
            return {report(bytes({0x01, 0xB2, 0xD0, 0x5E, 0x00}))};
        });
        answers.enterInteger(2147483647);
        answers.pressButton(QMessageBox::Ok);
        click("ButtonSetSN");
        QCOMPARE(writtenPayloads().first(), padded(bytes({0x01, 0xA5, 0x7F, 0xFF, 0xFF, 0xFF})));
        QCOMPARE(serialLabel(), QString("Serial Number: 3000000000"));
    }

    void serialNumberFailuresLeaveTheLabelAlone()
    {
        QVERIFY(connectWindow());
        const QString label = serialLabel();

        sim::module().answerWrongCode(0x02, 1, 0x01);
        {
            DialogAnswerer answers;
            answers.enterInteger(12);
            answers.pressButton(QMessageBox::Ok);
            click("ButtonSetSN");
            QCOMPARE(writtenPayloads().size(), 1);
            verifyOnlyMessage(answers, QMessageBox::Critical, "Failed to set serial number.");
        }

        // Accepted, but the read-back stays silent through both attempts.
        sim::clearWrittenReports();
        sim::RequestFault silentReadBack;
        silentReadBack.kind = sim::FaultKind::Silent;
        silentReadBack.command = 0x01;
        silentReadBack.skip = 1;
        silentReadBack.times = 2;
        sim::module().addFault(silentReadBack);
        {
            DialogAnswerer answers;
            answers.enterInteger(34);
            answers.pressButton(QMessageBox::Ok);
            click("ButtonSetSN");
            QCOMPARE(writtenPayloads(),
                     (QList<QByteArray>{padded(bytes({0x01, 0xA5, 0, 0, 0, 34})),
                                        padded(bytes({0x01})), padded(bytes({0x01}))}));
            verifyOnlyMessage(answers, QMessageBox::Critical, "Failed to get serial number.");
        }
        QCOMPARE(sim::module().serialNumber(), 34u);
        QCOMPARE(serialLabel(), label);
    }

    void eraseLogAsksNothingAndReportsTheOutcome()
    {
        QVERIFY(connectWindow());
        {
            DialogAnswerer answers;
            answers.pressButton(QMessageBox::Ok);
            click("ButtonEraseLog");
            QCOMPARE(writtenPayloads(), QList<QByteArray>{padded(bytes({0x06}))});
            verifyOnlyMessage(answers, QMessageBox::Information, "Log erased.");
            QCOMPARE(sim::module().eraseCount(), 1);
        }
        sim::module().answerWrongCode(0x07, 1, 0x06);
        {
            DialogAnswerer answers;
            answers.pressButton(QMessageBox::Ok);
            click("ButtonEraseLog");
            QCOMPARE(writtenPayloads().size(), 2);
            verifyOnlyMessage(answers, QMessageBox::Critical, "Failed to erase log.");
        }
    }

    void cellSwitchWritesOneToDisableAndZeroToEnable()
    {
        QVERIFY(connectWindow());
        DialogAnswerer answers;
        answers.pressButtonLabelled("Disable");
        answers.pressButton(QMessageBox::Ok);
        click("ButtonDisableCell");
        QCOMPARE(sim::module().cellSwitch(), 1);

        answers.pressButtonLabelled("Enable");
        answers.pressButton(QMessageBox::Ok);
        answers.pressButton(QMessageBox::Cancel);
        answers.escapeMessageBox();
        for (int i = 0; i < 3; ++i)
            click("ButtonDisableCell");
        QCOMPARE(sim::module().cellSwitch(), 0);

        QCOMPARE(writtenPayloads(),
                 (QList<QByteArray>{padded(bytes({0x13, 0x00, 0xF0, 0x00, 0x01})),
                                    padded(bytes({0x13, 0x00, 0xF0, 0x00, 0x00}))}));
        QCOMPARE(answers.unexpected(), 0);
        QCOMPARE(answers.unanswered(), 0);

        const QList<DialogAnswerer::Seen> messages = answers.messages();
        QCOMPARE(messages.size(), 6);
        for (int i : {0, 2, 4, 5}) {
            QCOMPARE(messages[i].icon, QMessageBox::Question);
            QCOMPARE(messages[i].title, QString("Talvik"));
            QCOMPARE(messages[i].text, QString("Enable cell phone?"));
            QCOMPARE(messages[i].parent, nullptr);
            QCOMPARE(messages[i].buttons.size(), 3);
            QVERIFY(messages[i].buttons.contains("Enable"));
            QVERIFY(messages[i].buttons.contains("Disable"));
            QVERIFY(messages[i].buttons.contains("Cancel"));
        }
        QCOMPARE(messages[1].text,
                 QString("Cell phone disabled.\r\nPlease reset Control Module for change to "
                         "take effect."));
        QCOMPARE(messages[3].text,
                 QString("Cell phone enabled.\r\nPlease reset Control Module for change to "
                         "take effect."));
        QCOMPARE(messages[1].icon, QMessageBox::Information);
        QCOMPARE(messages[3].icon, QMessageBox::Information);
        QCOMPARE(messages[1].parent, window.get());
    }

    void cellSwitchRefusedByTheModuleIsReported()
    {
        QVERIFY(connectWindow());
        sim::module().answerWrongCode(0x12, 1, 0x13);
        DialogAnswerer answers;
        answers.pressButtonLabelled("Enable");
        answers.pressButton(QMessageBox::Ok);
        click("ButtonDisableCell");
        // A wrong code is not retried.
        QCOMPARE(writtenPayloads().size(), 1);
        QCOMPARE(answers.messages().size(), 2);
        QCOMPARE(answers.messages()[1].text, QString("Failed to set Cell Enable/Disable."));
        QCOMPARE(answers.messages()[1].icon, QMessageBox::Critical);
        QCOMPARE(answers.unexpected(), 0);
    }
};

QTEST_MAIN(ServiceCommandsTest)
#include "tst_servicecommands.moc"
