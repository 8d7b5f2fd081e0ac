#include "app/startup.h"
#include "app/talvik.h"

#include <QApplication>

#include <iostream>

int main(int argc, char *argv[])
{
    const int answered = answerCommandLine(argc, argv, std::cout);
    if (answered >= 0)
        return answered;

    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication application(argc, argv);
    useApplicationFont();
    useApplicationIcon();

    Talvik window;
    window.show();
    return application.exec();
}
