#include "app/connectionhelp.h"
#include "app/talvik.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>

namespace
{
QUSBPort::OpenFailure failure(QUSBPort::OpenFailure::Kind kind, const QString &error = QString())
{
    QUSBPort::OpenFailure f;
    f.kind = kind;
    f.node = kind == QUSBPort::OpenFailure::NoModule ? QString() : "/dev/hidraw3";
    f.error = error;
    return f;
}

const QString InstallCommands = "sudo cp packaging/60-talvik-control-module.rules "
                                "/etc/udev/rules.d/\nsudo udevadm control --reload-rules";
} // namespace

class ConnectionHelpTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Talvik> window;

    QString reasonText() { return window->findChild<QLabel *>("LabelConnectionReason")->text(); }

private slots:
    void initTestCase() { testenv::isolateSettings(); }

    void cleanup()
    {
        window.reset();
        sim::reset();
    }

    void reasonLineNamesTheCaseEscapedAndLinksTheHelp()
    {
        using F = QUSBPort::OpenFailure;
        QCOMPARE(ConnectionHelp::reasonLine(failure(F::NoModule)),
                 QString("No Control Module found on USB. <a href=\"#help\">How to connect</a>"));
        QVERIFY(ConnectionHelp::reasonLine(failure(F::PermissionDenied))
                    .startsWith("No permission to open the Control Module (/dev/hidraw3)."));
        // hidapi's text goes in as text, never as markup.
        QVERIFY(ConnectionHelp::reasonLine(failure(F::OtherError, "busy <b>now</b>"))
                    .startsWith("The Control Module (/dev/hidraw3) could not be opened: busy "
                                "&lt;b&gt;now&lt;/b&gt;"));
    }

    void permissionHelpGivesTheInstallCommandsOnlyWithoutTheRule()
    {
        const QUSBPort::OpenFailure denied = failure(QUSBPort::OpenFailure::PermissionDenied);
        const QString missing = ConnectionHelp::helpText(&denied, QString());
        QVERIFY2(missing.contains(InstallCommands), qPrintable(missing));
        QVERIFY(missing.contains("/dev/hidraw3"));

        const QString rule = "/etc/udev/rules.d/60-talvik-control-module.rules";
        const QString installed = ConnectionHelp::helpText(&denied, rule);
        QVERIFY(!installed.contains("sudo"));
        QVERIFY(installed.contains(rule));
        QVERIFY(installed.contains("Plug the module in again"));
        QVERIFY(installed.contains("local seat"));
        QVERIFY(installed.contains("group"));

        const QUSBPort::OpenFailure busy =
            failure(QUSBPort::OpenFailure::OtherError, "Device or resource busy");
        QVERIFY(ConnectionHelp::helpText(&busy, rule).contains(": Device or resource busy"));
    }

    void installedRuleIsFoundInAnyOfTheFolders()
    {
        QTemporaryDir etc, lib;
        const QStringList folders = {etc.path(), lib.path()};
        QCOMPARE(ConnectionHelp::installedRule(folders), QString());
        // A folder of that name is no rule.
        QDir(lib.path()).mkdir(ConnectionHelp::RuleFileName);
        QCOMPARE(ConnectionHelp::installedRule(folders), QString());
        QDir(lib.path()).rmdir(ConnectionHelp::RuleFileName);
        QFile rule(lib.path() + "/" + ConnectionHelp::RuleFileName);
        QVERIFY(rule.open(QIODevice::WriteOnly));
        rule.close();
        QCOMPARE(ConnectionHelp::installedRule(folders), rule.fileName());
    }

    void windowShowsTheReasonBesideDisconnectedUntilTheModuleConnects()
    {
        sim::freshModule(false);
        DialogAnswerer answerer;
        window = std::make_unique<Talvik>();
        window->show();
        QTRY_VERIFY(reasonText().startsWith("No Control Module found on USB."));
        QCOMPARE(window->statusBar()->currentMessage(), QString("Disconnected"));

        sim::refuseOpens(EACCES);
        sim::plug();
        QTRY_VERIFY_WITH_TIMEOUT(
            reasonText().startsWith("No permission to open the Control Module (/dev/hidraw3)."),
            3000);
        QCOMPARE(window->statusBar()->currentMessage(), QString("Disconnected"));

        sim::refuseOpens(0);
        QVERIFY(testenv::waitForStatus(*window, "Connected"));
        QTRY_COMPARE(reasonText(), QString());
        // Nothing popped up by itself.
        QVERIFY(answerer.seen().isEmpty());

        const QList<QAction *> menus = window->menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        QCOMPARE(menus[0]->text(), QString("File"));
        QCOMPARE(menus[2]->text(), QString("Help"));
        QCOMPARE(menus[2]->menu()->actions().size(), 1);
        QCOMPARE(menus[2]->menu()->actions()[0]->text(), QString("How to connect"));
    }

    void linkAndMenuOpenTheHelpForTheLastFailure()
    {
        sim::freshModule(false);
        window = std::make_unique<Talvik>();
        window->show();
        auto *label = window->findChild<QLabel *>("LabelConnectionReason");
        QTRY_VERIFY(!label->text().isEmpty());

        DialogAnswerer answerer;
        answerer.pressButton(QMessageBox::Ok);
        answerer.pressButton(QMessageBox::Ok);
        emit label->linkActivated("#help");
        window->findChild<QAction *>("actionHowToConnect")->trigger();

        QCOMPARE(answerer.messages().size(), 2);
        for (const DialogAnswerer::Seen &seen : answerer.messages()) {
            QCOMPARE(seen.title, QString("How to connect"));
            QCOMPARE(seen.parent, window.get());
            QVERIFY2(seen.text.contains("No Control Module is on the USB bus."),
                     qPrintable(seen.text));
        }
    }
};

QTEST_MAIN(ConnectionHelpTest)
#include "tst_connectionhelp.moc"
