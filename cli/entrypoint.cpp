#include "cli/commandline.h"
#include "cli/terminalprogress.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>

#include <cstdio>
#include <unistd.h>

namespace cli
{

int main(int argc, char *argv[])
{
    // No display needed: a QCoreApplication, never a QApplication.
    QCoreApplication application(argc, argv);
    catchInterrupts();
    // The port's diagnostics are for developers; a script's log gets only
    // the messages and the warnings.
    QLoggingCategory::setFilterRules("default.debug=false");

    QFile standardOutput;
    QFile standardError;
    standardOutput.open(stdout, QIODevice::WriteOnly);
    standardError.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    QTextStream out(&standardOutput);
    QTextStream err(&standardError);
    Console console{out, err, ::isatty(STDERR_FILENO) == 1};

    const int code = run(application.arguments().mid(1), console);
    out.flush();
    err.flush();
    return code;
}

} // namespace cli
