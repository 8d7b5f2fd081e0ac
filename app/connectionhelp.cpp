#include "app/connectionhelp.h"

#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

const char *const ConnectionHelp::RuleFileName = "60-talvik-control-module.rules";

ConnectionHelp::ConnectionHelp(QMainWindow *owner, QUSBPort *port)
    : QObject(owner), window(owner), reason(new QLabel(owner)), failureKnown(false)
{
    reason->setTextFormat(Qt::RichText);
    reason->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    reason->setObjectName("LabelConnectionReason");
    connect(reason, &QLabel::linkActivated, this, &ConnectionHelp::showHelp);
    owner->statusBar()->addPermanentWidget(reason);

    QMenu *help = owner->menuBar()->addMenu(tr("Help"));
    help->setObjectName("menuHelp");
    QAction *howTo = help->addAction(tr("How to connect"));
    howTo->setObjectName("actionHowToConnect");
    connect(howTo, &QAction::triggered, this, &ConnectionHelp::showHelp);

    connect(port, &QUSBPort::openFailureFound, this, &ConnectionHelp::openFailed);
    connect(port, &QUSBPort::openPortSuccess, this, &ConnectionHelp::openSucceeded);
}

QStringList ConnectionHelp::ruleFolders()
{
    return {"/etc/udev/rules.d", "/lib/udev/rules.d", "/usr/lib/udev/rules.d"};
}

QString ConnectionHelp::installedRule(const QStringList &folders)
{
    for (const QString &folder : folders) {
        const QString path = folder + '/' + RuleFileName;
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

QString ConnectionHelp::reasonLine(const QUSBPort::OpenFailure &failure)
{
    return failure.reason().toHtmlEscaped() + " <a href=\"#help\">" + tr("How to connect") + "</a>";
}

QString ConnectionHelp::helpText(const QUSBPort::OpenFailure *failure,
                                 const QString &installedRulePath)
{
    QString text = tr("1. Connect the Control Module to this PC with a USB data cable and "
                      "switch it on.\n"
                      "2. The status bar shows \"Connected\" within a second. Until then the "
                      "line beside it says why the module is not connected.");
    if (failure == nullptr)
        return text;
    text += "\n\n";
    switch (failure->kind) {
    case QUSBPort::OpenFailure::NoModule:
        text += tr("No Control Module is on the USB bus. Check the cable and the module's "
                   "power, try another USB port, and plug the module in again.");
        break;
    case QUSBPort::OpenFailure::PermissionDenied:
        if (installedRulePath.isEmpty()) {
            text += tr("The module is on %1, but this user may not open it. Install the udev "
                       "rule from Talvik's source folder once, then plug the module in "
                       "again:\n\n"
                       "sudo cp packaging/%2 /etc/udev/rules.d/\n"
                       "sudo udevadm control --reload-rules")
                        .arg(failure->node, RuleFileName);
        } else {
            text += tr("The module is on %1, but this user may not open it, although the "
                       "udev rule %2 is installed. Plug the module in again so that the rule "
                       "applies. If that does not help, check that you are logged in on this "
                       "PC's own screen and keyboard (a local seat, not a remote session), or "
                       "that your user is in the group the rule gives the module to.")
                        .arg(failure->node, installedRulePath);
        }
        break;
    case QUSBPort::OpenFailure::OtherError:
        text += tr("The module is on %1, but it could not be opened: %2\n"
                   "Close any other program that uses the module, then plug the module in "
                   "again.")
                    .arg(failure->node, failure->error);
        break;
    case QUSBPort::OpenFailure::InUse:
        text += tr("Another Talvik (process %1) has the module open: this window, or "
                   "talvik-cli run by you or by a timer. Only one of them can talk to the "
                   "module at a time. Close the other window, or wait until the command "
                   "ends; this window connects by itself as soon as the module is free.")
                    .arg(failure->holder);
        break;
    }
    return text;
}

void ConnectionHelp::showHelp()
{
    QMessageBox box(QMessageBox::Information, tr("How to connect"),
                    helpText(failureKnown ? &lastFailure : nullptr, installedRule(ruleFolders())),
                    QMessageBox::Ok, window);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

void ConnectionHelp::openFailed(const QUSBPort::OpenFailure &failure)
{
    failureKnown = true;
    lastFailure = failure;
    reason->setText(reasonLine(failure));
}

void ConnectionHelp::openSucceeded()
{
    failureKnown = false;
    reason->clear();
}
