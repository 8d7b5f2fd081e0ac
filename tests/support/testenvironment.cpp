#include "tests/support/testenvironment.h"

#include "app/talvik.h"
#include "sim/simdevice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

namespace testenv
{

namespace
{
QTemporaryDir &scratch()
{
    static QTemporaryDir directory;
    return directory;
}

QString iniPath()
{
    return QCoreApplication::applicationDirPath() + "/Talvik.ini";
}
} // namespace

void isolateSettings()
{
    const QString config = scratch().path() + "/config";
    QDir().mkpath(config);
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config);
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, config + "/system");
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, config + "/system");
    // No test writes the user's archive, and without one the frames on the
    // wire are the window's alone; a test about the archive names its own.
    qputenv("XDG_DATA_HOME", (scratch().path() + "/data").toLocal8Bit());
    qputenv("TALVIK_ARCHIVE", "off");
}

QString scratchDirectory()
{
    return scratch().path();
}

void writeTalvikIni(const QString &contents)
{
    QFile file(iniPath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        file.write(contents.toUtf8());
}

void removeTalvikIni()
{
    QFile::remove(iniPath());
}

bool waitForStatus(Talvik &window, const QString &status, int timeoutMs)
{
    return QTest::qWaitFor([&] { return window.statusBar()->currentMessage() == status; },
                           timeoutMs);
}

std::unique_ptr<Talvik> openConnectedWindow()
{
    sim::plug();
    auto window = std::make_unique<Talvik>();
    window->show();
    if (!waitForStatus(*window, "Connected"))
        return nullptr;
    sim::clearWrittenReports();
    return window;
}

CoreSession::CoreSession() : session(port)
{
    port.start();
}

CoreSession::~CoreSession() = default;

bool CoreSession::waitUntilOpen(int timeoutMs)
{
    return QTest::qWaitFor([this] { return port.isDeviceOpen(); }, timeoutMs);
}

} // namespace testenv
