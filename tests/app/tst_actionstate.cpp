#include "app/talvik.h"
#include "sim/logrecords.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QWindow>

#include <memory>

namespace
{

const char *const ActionButtons[] = {
    "ButtonUpdateFirmware", "ButtonDownloadFullLog", "ButtonDownloadPartLog",
    "ButtonRead",           "ButtonWrite",           "ButtonLoad",
    "ButtonSave",           "ButtonSetSN",           "ButtonEraseLog",
    "ButtonDisableCell"};

constexpr unsigned char SetClockCode = 0x08;
constexpr unsigned char LogFinishCode = 0x05;

int framesWithCode(unsigned char code)
{
    int count = 0;
    for (const sim::WrittenReport &written : sim::writtenReports())
        count += written.bytes.size() > 1 && written.bytes[1] == code;
    return count;
}

// What a user can do to a progress window: press Escape, then the window's
// close button (a spontaneous close, as the window manager sends it).
void tryToDismiss(QProgressDialog *progress)
{
    QTest::keyClick(progress, Qt::Key_Escape);
    if (progress->isVisible() && progress->windowHandle() != nullptr)
        progress->windowHandle()->close();
}

} // namespace

// The action buttons are on exactly when the module is connected and no
// action runs; progress windows stay until their action ends, unless they
// offer Cancel; a connection reported in the middle of an exchange never
// starts one of its own.
class ActionStateTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Talvik> window;

    bool buttonsEnabled(bool enabled) const
    {
        for (const char *name : ActionButtons)
            if (window->findChild<QPushButton *>(name)->isEnabled() != enabled)
                return false;
        return true;
    }

    // A connection reported while the GUI thread is inside an exchange.
    void reportConnection()
    {
        QMetaObject::invokeMethod(window.get(), "openSuccess", Qt::QueuedConnection);
    }

private slots:
    void initTestCase() { testenv::isolateSettings(); }

    void init()
    {
        sim::reset();
        sim::freshModule(false);
        QSettings("Norvale", "Talvik").clear();
    }

    void cleanup()
    {
        window.reset();
        sim::reset();
    }

    void readWindowCannotBeDismissedAndAReconnectionWaitsForTheRead()
    {
        QSettings("Norvale", "Talvik").setValue("SetTime", true);
        window = testenv::openConnectedWindow();
        QVERIFY(window);
        sim::clearWrittenReports();

        bool stayedUp = false, buttonsOff = false;
        int parameterRequests = 0;
        sim::setReplyHandler([&](const unsigned char *payload) {
            if (payload[0] >= 0x10 && ++parameterRequests == 10) {
                auto *progress = window->findChild<QProgressDialog *>();
                tryToDismiss(progress);
                stayedUp = progress->isVisible() && !progress->wasCanceled();
                reportConnection();
                QCoreApplication::processEvents();
                buttonsOff = buttonsEnabled(false);
            }
            return sim::module().handle(payload);
        });
        DialogAnswerer answers;
        answers.pressButton(QMessageBox::Ok);

        QTest::mouseClick(window->findChild<QPushButton *>("ButtonRead"), Qt::LeftButton);

        QVERIFY(stayedUp);
        QVERIFY(buttonsOff);
        QCOMPARE(answers.messages().size(), 1);
        QCOMPARE(answers.messages()[0].text, QString("Settings read from unit."));
        // The reconnection's clock set comes once the read is over.
        QCOMPARE(framesWithCode(SetClockCode), 1);
        QCOMPARE(sim::writtenReports().back().bytes[1], SetClockCode);
        QVERIFY(buttonsEnabled(true));
    }

    void escapeOnTheDownloadWindowCancelsTheDownload()
    {
        sim::module().addRecords(sim::generateLog(600, 7));
        window = testenv::openConnectedWindow();
        QVERIFY(window);
        sim::setPacing(sim::Pacing::FullSpeed);
        const QString fileName = testenv::scratchDirectory() + "/escaped.csv";
        bool dismissed = false;
        QTimer poke;
        QObject::connect(&poke, &QTimer::timeout, [&] {
            auto *progress = window->findChild<QProgressDialog *>();
            if (dismissed || progress == nullptr || !progress->isVisible() ||
                progress->labelText() == "Downloading Log Information...")
                return;
            dismissed = true;
            tryToDismiss(progress);
        });
        poke.start(5);
        DialogAnswerer answers;
        answers.chooseFile(fileName);

        QTest::mouseClick(window->findChild<QPushButton *>("ButtonDownloadFullLog"),
                          Qt::LeftButton);

        QVERIFY(dismissed);
        QCOMPARE(answers.messages().size(), 0);
        QVERIFY(!QFile::exists(fileName));
        QCOMPARE(framesWithCode(LogFinishCode), 0);
        QVERIFY(buttonsEnabled(true));
    }

    void connectionsReportedDuringAClockSetDoNotNest()
    {
        QSettings("Norvale", "Talvik").setValue("SetTime", true);
        // The clock reply is slow, so the window sits in the reply wait while
        // the connection is reported again and again.
        sim::module().answerLate(200, 1, SetClockCode);
        bool reported = false;
        sim::setReplyHandler([&](const unsigned char *payload) {
            if (payload[0] == SetClockCode && !reported) {
                reported = true;
                for (int i = 0; i < 50; ++i)
                    reportConnection();
            }
            return sim::module().handle(payload);
        });
        sim::plug();
        window = std::make_unique<Talvik>();
        window->show();
        QVERIFY(testenv::waitForStatus(*window, "Connected"));
        QTRY_VERIFY(buttonsEnabled(true));
        QTest::qWait(100);
        // The first connection's clock set, then one for all those reported
        // while it waited.
        QCOMPARE(framesWithCode(SetClockCode), 2);
    }

    void clockSetCutShortByAnUnplugLeavesTheButtonsOff()
    {
        QSettings("Norvale", "Talvik").setValue("SetTime", true);
        sim::module().staySilent(2, SetClockCode);
        // The failure box stays up until the loss has reached the window, so
        // the clock set ends with the window already disconnected.
        QString failure;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            const QString status = window->statusBar()->currentMessage();
            // Connected, and the clock set is waiting for its reply.
            if (status == "Connected" && sim::isPlugged())
                sim::unplug();
            if (status != "Disconnected")
                return;
            for (QWidget *top : QApplication::topLevelWidgets())
                if (auto *box = qobject_cast<QMessageBox *>(top); box && box->isVisible()) {
                    failure = box->text();
                    box->button(QMessageBox::Ok)->click();
                }
        });
        sim::plug();
        window = std::make_unique<Talvik>();
        answer.start(10);
        window->show();

        QTRY_COMPARE(failure, QString("Failed to set time."));
        QTest::qWait(50);
        QCOMPARE(window->statusBar()->currentMessage(), QString("Disconnected"));
        QVERIFY(buttonsEnabled(false));
    }
};

QTEST_MAIN(ActionStateTest)
#include "tst_actionstate.moc"
