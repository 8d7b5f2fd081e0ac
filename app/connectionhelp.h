#ifndef CONNECTIONHELP_H
#define CONNECTIONHELP_H

#include "usb/qusbport.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QLabel;
class QMainWindow;

// Tells the technician why the module is not connected: a one-line reason
// at the right of the status bar, and a "How to connect" dialog reached
// from that line and from the Help menu. The status texts "Connected" and
// "Disconnected" stay as they are; nothing pops up by itself.
class ConnectionHelp : public QObject
{
    Q_OBJECT
public:
    // Adds the reason label to the window's status bar and a Help menu
    // after its File menu, and follows the port.
    ConnectionHelp(QMainWindow *window, QUSBPort *port);

    // The udev rule file that lets a user without root open the module.
    static const char *const RuleFileName;
    // Where udev looks for rules.
    static QStringList ruleFolders();
    // The installed rule in one of the folders, or empty.
    static QString installedRule(const QStringList &folders);

    // The one-line reason, rich text with a link to the dialog.
    static QString reasonLine(const QUSBPort::OpenFailure &failure);
    // The dialog's steps: general ones, then what to do about the failure,
    // if one is known; installedRulePath is empty when no rule is installed.
    static QString helpText(const QUSBPort::OpenFailure *failure, const QString &installedRulePath);

public slots:
    void showHelp();

private slots:
    void openFailed(const QUSBPort::OpenFailure &failure);
    void openSucceeded();

private:
    QMainWindow *window;
    QLabel *reason;
    bool failureKnown;
    QUSBPort::OpenFailure lastFailure;
};

#endif
