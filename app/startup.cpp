#include "app/startup.h"

#include <QApplication>
#include <QFont>

void useApplicationFont()
{
    QFont font = QApplication::font();
    font.setPixelSize(11);
    QApplication::setFont(font);
}
