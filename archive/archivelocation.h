#ifndef ARCHIVELOCATION_H
#define ARCHIVELOCATION_H

#include <QString>

// Where the local archive lives, and whether downloads go into it. The
// window and talvik-cli share one file; the demo programs keep their own
// beside it, so that trying the demo never mixes with real stations.
namespace archive
{

struct Location {
    bool enabled = false;
    QString path; // the SQLite file, when enabled
};

// $XDG_DATA_HOME/Norvale/Talvik/archive.sqlite (~/.local/share when unset),
// or archive-demo.sqlite for the demo programs.
QString defaultPath(bool demo);

// The demo programs call this first: their archive is archive-demo.sqlite.
void useDemoArchive();

// The environment variable TALVIK_ARCHIVE, a file path or "off", overrides
// the user's preference.
Location localArchive(bool preference, bool demo);
// The same, for this program: the demo's file in the demo programs.
Location localArchive(bool preference);

// The per-user preference "Archive", on unless the user switched it off.
bool archivePreference();
void setArchivePreference(bool on);

} // namespace archive

#endif
