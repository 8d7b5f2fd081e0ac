#include "core/switchesfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

namespace SwitchesFile
{

QString choose(const QString &programFolder, const QString &systemFile)
{
    const QString beside = programFolder + "/Talvik.ini";
    // A folder or a dangling link named Talvik.ini is no file of switches, and
    // falling through to the system's switches would be a surprise too; it is
    // taken as the file read, and reads as all switches off.
    if (QFileInfo(beside).exists() || QFileInfo(beside).isSymLink())
        return beside;
    return systemFile;
}

QString path()
{
    return choose(QCoreApplication::applicationDirPath(), QStringLiteral(TALVIK_SYSTEM_SWITCHES));
}

bool isOn(const QString &key)
{
    const QSettings switches(path(), QSettings::IniFormat);
    return switches.value(key, false).toBool();
}

} // namespace SwitchesFile
