#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "cli/console.h"

#include <QStringList>

namespace cli
{

// Runs one talvik-cli command line (the arguments after the program name)
// and returns the exit code. Needs a QCoreApplication, never a QApplication.
int run(const QStringList &arguments, Console &console);

// The whole process: the application object, standard output and error,
// progress bars when standard error is a terminal, Ctrl-C as a cancel.
int main(int argc, char *argv[]);

} // namespace cli

#endif
