#ifndef COLLECTION_H
#define COLLECTION_H

#include "cli/console.h"
#include "core/operationresult.h"

#include <QJsonObject>
#include <QtGlobal>

namespace cli
{

class ModuleConnection;

// A talvik-cli run that changed or collected something on a module, kept in
// the user's archive as a collection (what it did, when, from which PC)
// when the archive is on. A timer's daily runs show in the station's history
// beside the technicians' visits. Whatever the archive answers is said and
// changes no exit code.
class CollectionRecord
{
public:
    CollectionRecord(ModuleConnection &connection, Console &console);

    // Asks the module for its serial number, when the archive is on and
    // nothing told it yet; before an action that restarts the module.
    void identify();
    // The serial number, when the command learned it otherwise.
    void setSerial(quint32 serial) { station = serial; }

    void record(const char *action, const OperationResult &result,
                const QJsonObject &details = QJsonObject());

private:
    ModuleConnection &connection;
    Console &console;
    const bool enabled;
    quint32 station = 0;
    QString idText;
};

} // namespace cli

#endif
