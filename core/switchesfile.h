#ifndef SWITCHESFILE_H
#define SWITCHESFILE_H

#include <QString>

// The Talvik.ini that holds the service switches (Development, LogErase) of the
// window and talvik-cli. A Talvik.ini beside the program is the only one read
// when it exists, so a technician's copy beside a build never mixes with the
// system's; otherwise the system-wide file, which the package installs with
// both switches off. Either file may lack a key, which then reads as false.
namespace SwitchesFile
{

// The file to read for a program in programFolder: its own Talvik.ini when
// that exists, else systemFile, whether or not that exists.
QString choose(const QString &programFolder, const QString &systemFile);

// The file this program reads: the choice for the running executable's folder
// and the system-wide file this build was configured with.
QString path();

// The switch key of that file, false when the file or the key is missing.
bool isOn(const QString &key);

} // namespace SwitchesFile

#endif
