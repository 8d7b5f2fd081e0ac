#ifndef MODULESERVICE_H
#define MODULESERVICE_H

#include "core/operationresult.h"

#include <QString>
#include <QtGlobal>

class ModuleSession;
class QDateTime;

// The single-purpose service commands. Each carries the text to show either
// way; a failure is the module's (Reason::Module).

// Sets the module's clock to now, the PC's local time with its distance from
// UTC. On success the message is empty: a clock set is not announced.
OperationResult setModuleClock(ModuleSession &session, const QDateTime &now);

// Stores serialNumber, then asks the module for the number it now holds;
// readBack is that number, and changes only when both steps succeeded.
OperationResult setSerialNumber(ModuleSession &session, quint32 serialNumber, quint32 &readBack);

OperationResult eraseLog(ModuleSession &session);

// Switches the cell modem; the module takes the change at its next reset.
OperationResult setCellEnabled(ModuleSession &session, bool enabled);

#endif
