#include "tests/maintenance/progresswatcher.h"

#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>

ProgressWatcher::ProgressWatcher(QMainWindow &watchedWindow) : window(watchedWindow)
{
    connect(&timer, &QTimer::timeout, this, &ProgressWatcher::poll);
    timer.start(0);
    qApp->installEventFilter(this);
}

ProgressWatcher::~ProgressWatcher()
{
    qApp->removeEventFilter(this);
}

bool ProgressWatcher::progressVisible() const
{
    const auto *progress = window.findChild<QProgressDialog *>();
    return progress != nullptr && progress->isVisible();
}

bool ProgressWatcher::eventFilter(QObject *watched, QEvent *event)
{
    // Seen at the moment the box appears, before anyone answers it.
    if (event->type() == QEvent::Show && qobject_cast<QMessageBox *>(watched) != nullptr)
        progressAtMessage.append(progressVisible());
    return false;
}

void ProgressWatcher::poll()
{
    const QString status = window.statusBar()->currentMessage();
    if (statusMessages.isEmpty() || statusMessages.last() != status)
        statusMessages.append(status);

    auto *progress = window.findChild<QProgressDialog *>();
    if (progress == nullptr || !progress->isVisible())
        return;
    if (labels.isEmpty() || labels.last() != progress->labelText())
        labels.append(progress->labelText());
    progressTitle = progress->windowTitle();
    progressWindowModal = progress->windowModality() == Qt::WindowModal;
    if (auto *button = progress->findChild<QPushButton *>())
        cancelText = button->text();
    if (cancelOnSight && !cancelled) {
        cancelled = true;
        if (auto *button = progress->findChild<QPushButton *>())
            button->click();
    }
}
