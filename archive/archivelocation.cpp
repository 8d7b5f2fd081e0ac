#include "archive/archivelocation.h"

#include <QDir>
#include <QSettings>

namespace archive
{

namespace
{
bool demoProgram = false;
const char *const PreferenceKey = "Archive";
} // namespace

void useDemoArchive()
{
    demoProgram = true;
}

Location localArchive(bool preference)
{
    return localArchive(preference, demoProgram);
}

bool archivePreference()
{
    return QSettings("Norvale", "Talvik").value(PreferenceKey, true).toBool();
}

void setArchivePreference(bool on)
{
    QSettings preferences("Norvale", "Talvik");
    preferences.setValue(PreferenceKey, on);
    preferences.sync();
}

QString defaultPath(bool demo)
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is invalid and ignored, as the XDG base
    // directory rules say.
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = QDir::homePath() + "/.local/share";
    return data + (demo ? "/Norvale/Talvik/archive-demo.sqlite" : "/Norvale/Talvik/archive.sqlite");
}

Location localArchive(bool preference, bool demo)
{
    Location location;
    const QString forced = qEnvironmentVariable("TALVIK_ARCHIVE");
    if (forced == "off")
        return location;
    if (!forced.isEmpty()) {
        location.enabled = true;
        location.path = forced;
        return location;
    }
    location.enabled = preference;
    if (preference)
        location.path = defaultPath(demo);
    return location;
}

} // namespace archive
