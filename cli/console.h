#ifndef CONSOLE_H
#define CONSOLE_H

#include <QTextStream>

namespace cli
{

// What the process answers with. Scripts rely on these numbers.
enum ExitCode {
    Success = 0,
    Failed = 1,     // the module said no, or a file could not be read or written
    UsageError = 2, // the command line asks for something talvik-cli does not do
    NoModule = 3,   // no module could be opened
};

// 'archive stations --check' alone answers as monitoring systems expect.
enum CheckExitCode {
    CheckOnTime = 0,
    CheckLate = 1,
    CheckMissing = 2,
    CheckUnknown = 3, // the archive cannot be read, or the command line is wrong
};

// Where a command writes: results on out, messages and progress on err.
// Progress bars are drawn only when err is a terminal.
struct Console {
    QTextStream &out;
    QTextStream &err;
    bool progressBars = false;
};

} // namespace cli

#endif
