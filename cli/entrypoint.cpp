#include "cli/commandline.h"
#include "cli/terminalprogress.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace cli
{

namespace
{
// Only a visit's report needs Qt Gui, for its fonts and its layout as a PDF;
// the offscreen platform gives them without a display.
bool writesReport(int argc, char *argv[])
{
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], "archive") == 0 && qstrcmp(argv[i + 1], "report") == 0)
            return true;
    return false;
}
} // namespace

int main(int argc, char *argv[])
{
    // No display needed: a QCoreApplication, never a QApplication.
    std::unique_ptr<QCoreApplication> application;
    if (writesReport(argc, argv)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
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

    const int code = run(application->arguments().mid(1), console);
    out.flush();
    err.flush();
    return code;
}

} // namespace cli
