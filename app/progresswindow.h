#ifndef PROGRESSWINDOW_H
#define PROGRESSWINDOW_H

#include <QProgressDialog>

// The progress window of a long action. The user cannot take it away while
// the action runs on: without a Cancel button, Escape and the window's close
// button do nothing; with one, they cancel just as the button does. The
// action itself still hides and closes the window when it is done.
class ProgressWindow : public QProgressDialog
{
    Q_OBJECT
public:
    ProgressWindow(const QString &labelText, const QString &cancelButtonText, int minimum,
                   int maximum, QWidget *parent);

    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    const bool cancellable;
};

#endif
