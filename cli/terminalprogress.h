#ifndef TERMINALPROGRESS_H
#define TERMINALPROGRESS_H

#include "core/operationprogress.h"

#include <QElapsedTimer>
#include <QTextStream>

namespace cli
{

// A one-line progress bar on a terminal, redrawn in place and wiped when the
// operation finishes with it; nothing at all
// when drawing is off, so that a log of a timer's run holds only messages.
// cancelled() is true once the user pressed Ctrl-C (see catchInterrupts).
class TerminalProgress : public OperationProgress
{
public:
    TerminalProgress(QTextStream &stream, bool draw);
    ~TerminalProgress() override;

    void setRange(int minimum, int maximum) override;
    void setLabel(const QString &text) override;
    void setValue(int value) override;
    void letEventsRun() override;
    bool cancelled() override;
    void finish() override;

    // The line for a value, e.g. "Uploading  [#####     ]  50%".
    static QString line(const QString &label, int minimum, int maximum, int value);

private:
    void draw(bool force);

    QTextStream &stream;
    const bool drawing;
    bool shown = false;
    QString label;
    int minimum = 0;
    int maximum = 100;
    int value = 0;
    QString lastLine;
    QElapsedTimer sinceDraw;
};

// From here on, the first Ctrl-C (or SIGTERM) asks the running operation to
// stop at its next check; a second one ends the process at once.
void catchInterrupts();
// Whether an interrupt has come since catchInterrupts.
bool interrupted();

} // namespace cli

#endif
