#ifndef ARCHIVESYNC_H
#define ARCHIVESYNC_H

#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QThread;
class QWidget;
class StationArchive;

// Tools > Archive Server…, Send Host and User Names and Sync Archive: the
// local archive sent to a network's server in a worker thread of its own,
// so the window never waits on the network and no module exchange is held
// up. The server's address and the names switch are per-user preferences.
class ArchiveSync : public QObject
{
    Q_OBJECT
public:
    ArchiveSync(QWidget *window, QMenu *tools, StationArchive &stations);
    ~ArchiveSync() override;

private:
    void askServer();
    void sync();
    void updateActions();

    QWidget *const window;
    StationArchive &stations;
    QAction *const serverAction;
    QAction *const namesAction;
    QAction *const syncAction;
    QThread *worker = nullptr;
};

#endif
