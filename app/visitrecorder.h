#ifndef VISITRECORDER_H
#define VISITRECORDER_H

#include "archive/visitrecord.h"
#include "config/configuration.h"
#include "config/configurationtransfer.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QString>

#include <vector>

class OperationResult;
class QAction;
class QMainWindow;
class QMenu;
class StationArchive;

// The technician's visit: from the connection on which a module tells its
// identity, over its reconnections within half an hour (a firmware upload
// restarts the module), until another module connects or the window
// closes. Each action the window takes is kept in the archive with its
// outcome; Tools > "Visit Note…" adds the technician's words and "Visit
// Report…" shows the visit as a page to save or print. With the archive
// off, nothing is kept.
class VisitRecorder : public QObject
{
    Q_OBJECT
public:
    // A reconnection of the same module this soon continues its visit.
    static constexpr qint64 ReconnectionSpanMs = 30 * 60 * 1000;

    VisitRecorder(QMainWindow *window, QMenu *tools, StationArchive &stations);

    // What the window did, each with the outcome it showed.
    void configurationRead(const OperationResult &result, const config::ModuleIdentity &identity,
                           const config::Configuration &values);
    // Before the archive keeps the written configuration: the changes are
    // counted against what the module held.
    void configurationWritten(const OperationResult &result, const config::Configuration &values);
    void fileLoaded(const QString &path, const OperationResult &result);
    void fileSaved(const QString &path, const OperationResult &result);
    void firmwareUploaded(const QString &path, quint32 size, quint16 checksum,
                          const OperationResult &result);
    void clockSet(const QDateTime &pcTime, const OperationResult &result);
    void serialSet(quint32 serial, const OperationResult &result);
    void logErased(const OperationResult &result);
    void cellSwitched(bool enabled, const OperationResult &result);

    struct DownloadCounts {
        bool full = true;
        quint32 records = 0;
        quint32 retries = 0;
        bool archived = false;
        qint64 newToArchive = 0;
    };
    // After a download; with its files written, the health check's
    // findings on them and the clock update they bring back follow.
    void downloaded(const DownloadCounts &counts, const QString &fileName, bool filesWritten,
                    const OperationResult &result);

    // The visit under way, 0 when there is none.
    qint64 currentVisit() const { return visitId; }

private slots:
    void moduleConnected();
    void moduleLost();
    void stationKnown(quint32 serial, const QString &idText);
    void addNote();
    void showReport();

private:
    void record(const char *name, const OperationResult &result, const QJsonObject &details);
    void keep(const archive::VisitAction &action);
    void checkDownloadedFiles(const QString &fileName);
    void updateActions();

    QMainWindow *const window;
    StationArchive &stations;
    QAction *const noteAction;
    QAction *const reportAction;
    qint64 visitId = 0;
    quint32 visitSerial = 0;
    // The visit's station, for its report once the module has gone.
    quint32 reportSerial = 0;
    bool connected = false;
    bool identityLearned = false;
    qint64 lostAt = 0;
    // What the window did on this connection before the module told who it
    // is: the clock set comes first.
    std::vector<archive::VisitAction> held;
    // The values the last read of this visit found, by file key.
    QMap<QString, QString> lastRead;
    bool readInVisit = false;
    // A clock set whose update the log has not brought back yet.
    bool clockUpdateDue = false;
};

#endif
