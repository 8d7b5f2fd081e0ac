#include "app/progresswindow.h"

#include <QCloseEvent>

ProgressWindow::ProgressWindow(const QString &labelText, const QString &cancelButtonText,
                               int minimum, int maximum, QWidget *parent)
    : QProgressDialog(labelText, cancelButtonText, minimum, maximum, parent),
      cancellable(!cancelButtonText.isNull())
{
}

// Escape lands here.
void ProgressWindow::reject()
{
    if (cancellable)
        cancel();
}

void ProgressWindow::closeEvent(QCloseEvent *event)
{
    // The action's own close() is not spontaneous and always goes through;
    // the window manager's close button is the user's.
    if (!event->spontaneous() || cancellable) {
        QProgressDialog::closeEvent(event);
        return;
    }
    event->ignore();
}
