#include "app/windowprogress.h"

#include "app/progresswindow.h"

#include <QCoreApplication>

WindowProgress::WindowProgress(const QString &label, const QString &cancelText, OnFinish onFinish,
                               QWidget *parent)
    : label(label), cancelText(cancelText), onFinish(onFinish), parent(parent)
{
}

WindowProgress::~WindowProgress() = default;

void WindowProgress::setRange(int minimum, int maximum)
{
    if (window != nullptr) {
        window->setRange(minimum, maximum);
        return;
    }
    window = std::make_unique<ProgressWindow>(label, cancelText, minimum, maximum, parent);
    window->setWindowTitle(QCoreApplication::translate("Talvik", "Talvik"));
    window->setWindowModality(Qt::WindowModal);
    window->setMinimumDuration(0);
    window->show();
}

void WindowProgress::setLabel(const QString &text)
{
    if (window != nullptr)
        window->setLabelText(text);
}

void WindowProgress::setValue(int value)
{
    if (window != nullptr)
        window->setValue(value);
}

void WindowProgress::letEventsRun()
{
    QCoreApplication::processEvents();
}

bool WindowProgress::cancelled()
{
    letEventsRun();
    return window != nullptr && window->wasCanceled();
}

void WindowProgress::finish()
{
    if (window != nullptr) {
        window->hide();
        if (onFinish == OnFinish::HideAndClose)
            window->close();
    }
    letEventsRun();
}

void WindowProgress::hide()
{
    if (window != nullptr)
        window->hide();
}
