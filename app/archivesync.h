#ifndef ARCHIVESYNC_H
#define ARCHIVESYNC_H

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QThread;
class QWidget;
class StationArchive;

// Tools > Archive Server…, Send Host and User Names and Sync Archive: the
// local archive sent to a network's server in a worker thread of its own,
// so the window never waits on the network and no module exchange is held
// up. The server's address and the names switch are per-user preferences.
// Tools > Stations… shows the board of the server's stations when one is
// set, else the local archive's.
class ArchiveSync : public QObject
{
    Q_OBJECT
public:
    ArchiveSync(QWidget *window, QMenu *tools, StationArchive &stations);
    ~ArchiveSync() override;

    // What a double-click on the board's station opens besides its last
    // visit report: the station's history in the window's viewer.
    void setHistoryOpener(std::function<void(quint32 serial)> opener)
    {
        openHistory = std::move(opener);
    }

private:
    void askServer();
    void showStations();
    void sync();
    void updateActions();

    QWidget *const window;
    StationArchive &stations;
    QAction *const serverAction;
    QAction *const namesAction;
    QAction *const syncAction;
    QAction *const boardAction;
    QThread *worker = nullptr;
    std::function<void(quint32)> openHistory;
};

#endif
