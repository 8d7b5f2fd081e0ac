#ifndef MODULESERVICE_H
#define MODULESERVICE_H

#include <QString>
#include <QtGlobal>

class ModuleSession;
class QDateTime;

// The single-purpose service commands. Each returns 0 on success and -1 on
// failure, with the text to show either way in message.

// Sets the module's clock to now, the PC's local time with its distance from
// UTC. On success message is empty: a clock set is not announced.
int setModuleClock(ModuleSession &session, const QDateTime &now, QString &message);

// Stores serialNumber, then asks the module for the number it now holds;
// readBack is that number, and changes only when both steps succeeded.
int setSerialNumber(ModuleSession &session, quint32 serialNumber, quint32 &readBack,
                    QString &message);

int eraseLog(ModuleSession &session, QString &message);

// Switches the cell modem; the module takes the change at its next reset.
int setCellEnabled(ModuleSession &session, bool enabled, QString &message);

#endif
