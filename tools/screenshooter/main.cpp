// Renders every page of the main window to PNG files, the way a technician
// sees them with a module connected, so changes to the form can be looked at.
#include "app/startup.h"
#include "app/talvik.h"
#include "archive/archivelocation.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"

#include <QApplication>
#include <QDir>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication application(argc, argv);
    useApplicationFont();

    const QString folder =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);

    // A simulated module's station belongs in the demo's archive.
    archive::useDemoArchive();
    // A module that answers, so the station shows at the right of the status bar.
    sim::freshModule();
    Talvik window;
    window.show();
    if (!QTest::qWaitFor([&] { return window.statusBar()->currentMessage() == "Connected"; }, 3000))
        fprintf(stderr, "the simulated module did not connect\n");

    auto *pages = window.findChild<QTabWidget *>("TabWidget");
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        QTest::qWait(50);
        const QString name = QString("%1/page%2-%3.png")
                                 .arg(folder)
                                 .arg(page)
                                 .arg(pages->widget(page)->objectName());
        window.grab().save(name);
        printf("%s\n", qPrintable(name));
    }
    return 0;
}
