#include "app/startup.h"
#include "app/talvik.h"
#include "archive/archivelocation.h"
#include "sim/demo/demomodule.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    plugInDemoModule();
    // The demo's downloads never mix with real stations' archive.
    archive::useDemoArchive();

    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication application(argc, argv);
    useApplicationFont();
    useApplicationIcon();

    Talvik window;
    window.show();
    return application.exec();
}
