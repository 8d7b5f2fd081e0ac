#ifndef PROGRESSWATCHER_H
#define PROGRESSWATCHER_H

#include <QObject>
#include <QStringList>
#include <QTimer>

class QMainWindow;

// Watches a long action from the outside: the labels its progress dialog
// shows (polled whenever the action lets events through), whether that
// dialog was up when each message box came, and the status bar meanwhile.
// Can press the dialog's Cancel button the first time it is seen.
class ProgressWatcher : public QObject
{
    Q_OBJECT
public:
    explicit ProgressWatcher(QMainWindow &window);
    ~ProgressWatcher() override;

    bool cancelOnSight = false;

    QStringList labels;            // each distinct label, in order
    QStringList statusMessages;    // each distinct status bar text, in order
    QList<bool> progressAtMessage; // per message box: progress dialog visible
    QString progressTitle;
    QString cancelText;
    bool progressWindowModal = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void poll();
    bool progressVisible() const;

    QMainWindow &window;
    QTimer timer;
    bool cancelled = false;
};

#endif
