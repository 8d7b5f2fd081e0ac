#ifndef STARTUP_H
#define STARTUP_H

#include <iosfwd>

// Answers --version and --help on out. They must work without a display, so call this
// before the QApplication exists. Returns the exit code when the program ends here, -1 when
// the window is to start: every other argument goes on to Qt, which takes its own options
// (-platform, -style, ...) and ignores the rest.
int answerCommandLine(int argc, char *argv[], std::ostream &out);

// The form is laid out for this font: the application's default family at a
// pixel size of 11, for every widget class. Call once the QApplication exists.
void useApplicationFont();

// The program's icon, the one its desktop entry shows, for every window.
// Call once the QApplication exists.
void useApplicationIcon();

#endif
