#ifndef WINDOWPROGRESS_H
#define WINDOWPROGRESS_H

#include "core/operationprogress.h"

#include <QString>

#include <memory>

class ProgressWindow;
class QWidget;

// The progress window that an operation of the core drives: window-modal,
// titled "Talvik", with a Cancel button when it is given a text for one. It
// appears at the first range it is given, so a caller that wants it at once
// gives the range at once, and the download's export window appears only
// when the export begins. Finishing hides it, closes it where it closes on
// finish, and lets the screen catch up.
class WindowProgress : public OperationProgress
{
public:
    enum class OnFinish { Hide, HideAndClose };

    WindowProgress(const QString &label, const QString &cancelText, OnFinish onFinish,
                   QWidget *parent);
    ~WindowProgress() override;

    void setRange(int minimum, int maximum) override;
    void setLabel(const QString &text) override;
    void setValue(int value) override;
    // Processes every pending event: Cancel is user input.
    void letEventsRun() override;
    bool cancelled() override;
    void finish() override;

    // Takes the window off the screen without finishing, for an operation
    // that ends before it starts.
    void hide();

private:
    const QString label;
    const QString cancelText;
    const OnFinish onFinish;
    QWidget *const parent;
    std::unique_ptr<ProgressWindow> window;
};

#endif
