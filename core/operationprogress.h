#ifndef OPERATIONPROGRESS_H
#define OPERATIONPROGRESS_H

#include <QString>

// How a long operation of the core reports how far it is and learns that the
// user wants it stopped. The window shows a progress window; talvik-cli
// draws a bar on standard error, or nothing.
class OperationProgress
{
public:
    virtual ~OperationProgress() = default;

    virtual void setRange(int minimum, int maximum) = 0;
    virtual void setLabel(const QString &text) = 0;
    virtual void setValue(int value) = 0;
    // Lets whatever waits run: the window processes all its pending events
    // here, user input included, so that the progress window paints and its
    // Cancel button can be pressed.
    virtual void letEventsRun() {}
    // Lets events run and tells whether the user has asked to stop.
    virtual bool cancelled() = 0;
    // The operation no longer needs the progress shown.
    virtual void finish() = 0;
};

// For callers that want no progress at all.
class NoProgress : public OperationProgress
{
public:
    void setRange(int, int) override {}
    void setLabel(const QString &) override {}
    void setValue(int) override {}
    bool cancelled() override { return false; }
    void finish() override {}
};

#endif
