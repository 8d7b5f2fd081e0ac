// Downloads the end-to-end test's sample log from the simulated module linked
// in place of hidapi, as every other test does, into the CSV file named on
// the command line. The end-to-end test compares its own files with these.
#include "app/talvik.h"
#include "sim/simulatedmodule.h"
#include "tests/e2e/logscenario.h"
#include "tests/support/testenvironment.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: talvik-e2e-reference <file.csv>\n";
        return 2;
    }
    testenv::isolateSettings();
    sim::freshModule(false).addRecords(e2e::sampleLog());
    std::unique_ptr<Talvik> window = testenv::openConnectedWindow();
    if (window == nullptr) {
        QTextStream(stderr) << "the simulated module did not connect\n";
        return 1;
    }
    const QStringList messages = e2e::downloadFullLog(*window, QString::fromLocal8Bit(argv[1]));
    if (messages != QStringList{"Download complete."}) {
        QTextStream(stderr) << "the download said: " << messages.join(" | ") << "\n";
        return 1;
    }
    return 0;
}
