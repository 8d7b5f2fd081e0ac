#ifndef VISITRECORD_H
#define VISITRECORD_H

#include "core/operationresult.h"

#include <QJsonObject>
#include <QString>
#include <QtGlobal>

#include <vector>

// What was done to a station, kept in the archive: a technician's visit
// with the window, or one talvik-cli run (a collection), each a list of
// actions with their time and outcome. Passwords never reach it.
namespace archive
{

class Database;

// The names of the actions, as they are stored.
namespace action
{
constexpr const char *Connected = "connected";
constexpr const char *ConfigurationRead = "configuration-read";
constexpr const char *ConfigurationWritten = "configuration-written";
constexpr const char *FileLoaded = "file-loaded";
constexpr const char *FileSaved = "file-saved";
constexpr const char *FirmwareUpload = "firmware-upload";
constexpr const char *ClockSet = "clock-set";
constexpr const char *ClockUpdate = "clock-update";
constexpr const char *SerialSet = "serial-set";
constexpr const char *LogErased = "log-erased";
constexpr const char *CellSwitched = "cell-switched";
constexpr const char *Download = "download";
constexpr const char *Findings = "findings";
constexpr const char *Note = "note";
} // namespace action

struct VisitFacts {
    QString uid;
    quint32 serial = 0;
    bool collection = false; // a talvik-cli run rather than a visit
    qint64 startedAt = 0;    // ms since 1970, this PC's clock
    QString program;         // "talvik" or "talvik-cli"
    QString version;         // Talvik's
    QString host;
    QString user;
    QString idText; // the station's ID text when the visit began
};

struct VisitAction {
    int sequence = 0; // its place in the visit, from 1
    qint64 at = 0;    // ms since 1970, this PC's clock
    QString name;     // one of action::
    QString failure;  // the message the window showed; empty on success
    QJsonObject details;
};

struct Visit {
    qint64 id = 0;
    VisitFacts facts;
    std::vector<VisitAction> actions;
};

// The facts of a visit or collection starting now on this PC.
VisitFacts visitFactsFor(quint32 serial, const QString &idText, const QString &program,
                         bool collection);

// Adds the visit (and its station, when the archive has not met it yet).
OperationResult startVisit(Database &database, const VisitFacts &facts, qint64 &visitId);
// Appends one action; its sequence is the next of the visit.
OperationResult addVisitAction(Database &database, qint64 visitId, const VisitAction &action);

// A station's visits and collections, oldest first, each with its actions.
OperationResult listVisits(Database &database, quint32 serial, std::vector<Visit> &visits);
// One visit by its id; a failure naming the id when there is none.
OperationResult loadVisit(Database &database, qint64 visitId, Visit &visit);

// The records the archive holds in the station's history.
OperationResult archivedRecordCount(Database &database, quint32 serial, qint64 &count);

} // namespace archive

#endif
