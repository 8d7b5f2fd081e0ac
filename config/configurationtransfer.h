#ifndef CONFIGURATIONTRANSFER_H
#define CONFIGURATIONTRANSFER_H

#include "config/configuration.h"
#include "core/operationresult.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

class ModuleSession;
class OperationProgress;

// Reading the configuration from the module and writing it back, with the
// checks a write makes first.
namespace config
{

struct ModuleIdentity {
    quint32 serialNumber = 0;
    int softwareVersion = 0;
    int eepromVersion = 0;
};

// Learns of each value of a read as it arrives, so that the window can show
// it at once.
class ReadListener
{
public:
    virtual ~ReadListener() = default;
    virtual void serialNumberArrived(quint32) {}
    virtual void softwareVersionArrived(int) {}
    // A key of the configuration and its new text. Passwords are never read:
    // each arrives blank, followed by its verify field, blank too.
    virtual void valueArrived(const QString &, const QString &) {}
};

// The identity queries, then every readable item in map order. The progress
// runs from 0 to readableParameterCount() + 2. On failure the items before it
// have arrived and are in the configuration; the identity is set on success
// only. The progress is finished once the items were asked for, not when an
// identity query fails. Succeeds with "Settings read from unit.".
OperationResult readConfiguration(ModuleSession &session, OperationProgress &progress,
                                  Configuration &configuration, ModuleIdentity &identity,
                                  ReadListener &listener);

// The first field, in map order, whose text the module would get wrong,
// named in a message; empty when all can be sent. Analog rows count as shown
// as their channel's type shows them.
QString unsendableField(const Configuration &configuration);
// The same for only the items with these keys.
QString unsendableField(const Configuration &configuration, const QStringList &keys);
// The first selection box, in map order, that the form shows and that offers
// items but has none selected (a value from the module or a file that is
// none of them), named in a message; empty when there is none. A hidden or
// empty box goes out as no item, 0xFFFF.
QString unselectedChoice(const Configuration &configuration);
// The message of the first password pair that differs, or empty.
QString passwordMismatch(const Configuration &configuration);

// The version check, then every item in map order; blank passwords and an
// empty mail server port are not sent, so the module keeps its own. The
// progress runs from 0 to ParameterCount; it is finished when the items were
// sent or one failed, not when the version check fails. Succeeds with
// "Settings written to unit.".
OperationResult writeConfiguration(ModuleSession &session, OperationProgress &progress,
                                   const Configuration &configuration);
// The same for only the items with these keys, in map order; the progress
// runs over them alone.
OperationResult writeConfiguration(ModuleSession &session, OperationProgress &progress,
                                   const Configuration &configuration, const QStringList &keys);

} // namespace config

#endif
