#ifndef STATIONARCHIVE_H
#define STATIONARCHIVE_H

#include "archive/downloadarchiver.h"
#include "config/configuration.h"
#include "config/configurationtransfer.h"

#include <QObject>
#include <QString>

#include <memory>

class ModuleSession;
class QAction;
class QLabel;
class QMainWindow;
class QMenu;

namespace archive
{
class Database;
}

// The window's part in the station archive: the Tools menu switch, the
// station shown at the right of the status bar with what the archive did
// with the last download, and the downloads and configurations kept. It
// asks the module only when the window tells it to, inside the window's
// own exchanges.
class StationArchive : public QObject
{
    Q_OBJECT
public:
    StationArchive(QMainWindow *window, QMenu *tools);
    ~StationArchive() override;

    bool enabled() const;

    // Each connection the port reports: whichever module this is, it is not
    // known until it is asked.
    void connectionOpened();
    void connectionLost();
    // Counts the connections, so a download can tell that one came between.
    quint64 connection() const { return connections; }

    // Whether the identity should be asked now: the archive is on and this
    // connection's module has not been asked yet.
    bool identityDue() const;
    void askIdentity(ModuleSession &session);

    // What the window learns without asking.
    void serialSet(quint32 serial);

    // For a download about to send its start command: an archiver, asking
    // the identity once more if it is not known; null when the download is
    // not to be archived, with the reason kept for downloadEnded.
    std::unique_ptr<archive::DownloadArchiver> archiverFor(ModuleSession &session, bool full);
    // spannedReconnection: the module was reconnected while it ran.
    void downloadEnded(const archive::DownloadArchiver *archiver, bool filesWritten);

    // After a successful Read: kept with the serial and software version the
    // read asked for.
    void configurationRead(const config::ModuleIdentity &identity,
                           const config::Configuration &values);
    // A word at the right of the status bar, after the station: what a sync
    // did, for one.
    void showNote(const QString &text);
    // After a successful Write: the module's ID is the form's now, and the
    // configuration is kept for the station known on this connection.
    void configurationWritten(const config::Configuration &values);

    // The archive, opened when it is on and can be; null otherwise.
    archive::Database *database();

signals:
    // The port opened the module, or lost it.
    void moduleConnected();
    void moduleLost();
    // This connection's module told its serial number and ID text.
    void stationKnown(quint32 serial, const QString &idText);

private:
    void keepConfiguration(quint32 serial, bool written, const config::Configuration &values);
    void show();

    QLabel *const label;
    QAction *const toggle;
    std::unique_ptr<archive::Database> db;
    QString openedPath;
    QString notArchived; // why the coming download is not archived
    quint64 connections = 0;
    bool asked = false;
    bool known = false;
    archive::StationIdentity station;
    QString lastDownloadText;
    // The software version a Read learned, for the downloads of that module.
    quint32 versionSerial = 0;
    int softwareVersion = -1;
};

#endif
