#include "app/startup.h"

#include <QApplication>
#include <QFont>
#include <QIcon>

#include <cstring>
#include <ostream>

namespace
{

const char HelpText[] = "Usage: talvik [Qt options]\n"
                        "Configures and services the weather station's Control Module over USB.\n"
                        "\n"
                        "  --help      show this text and exit\n"
                        "  --version   show the version and exit\n"
                        "\n"
                        "Qt's own options, such as -platform offscreen, are passed to Qt;\n"
                        "any other argument is ignored.\n";

} // namespace

int answerCommandLine(int argc, char *argv[], std::ostream &out)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            out << "talvik " TALVIK_VERSION "\n";
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            out << HelpText;
            return 0;
        }
    }
    return -1;
}

void useApplicationFont()
{
    QFont font = QApplication::font();
    font.setPixelSize(11);
    QApplication::setFont(font);
}

void useApplicationIcon()
{
    // The resource sits in this static library, so it has to be pulled in by name.
    Q_INIT_RESOURCE(talvik);
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/icons/talvik-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
}
