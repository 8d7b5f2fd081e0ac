#ifndef COMMANDS_H
#define COMMANDS_H

#include "cli/console.h"
#include "cli/invocation.h"
#include "config/configuration.h"
#include "core/operationresult.h"

#include <memory>

namespace archive
{
class Database;
}

namespace cli
{

class ModuleConnection;

// Every command checks what it can without the module first, then opens it
// through the connection; each returns its exit code.
using CommandFunction = int (*)(const Invocation &, ModuleConnection &, Console &);

int showInfo(const Invocation &, ModuleConnection &, Console &);
int readConfig(const Invocation &, ModuleConnection &, Console &);
int writeConfig(const Invocation &, ModuleConnection &, Console &);
int downloadLog(const Invocation &, ModuleConnection &, Console &);
int eraseLog(const Invocation &, ModuleConnection &, Console &);
int uploadFirmware(const Invocation &, ModuleConnection &, Console &);
int setClock(const Invocation &, ModuleConnection &, Console &);
int switchCell(const Invocation &, ModuleConnection &, Console &);
int setSerial(const Invocation &, ModuleConnection &, Console &);
int checkLog(const Invocation &, ModuleConnection &, Console &);
int archiveStations(const Invocation &, ModuleConnection &, Console &);
int archiveDownloads(const Invocation &, ModuleConnection &, Console &);
int archiveExport(const Invocation &, ModuleConnection &, Console &);
int archiveRemove(const Invocation &, ModuleConnection &, Console &);
int archiveGaps(const Invocation &, ModuleConnection &, Console &);
int archiveImport(const Invocation &, ModuleConnection &, Console &);
int archiveBackup(const Invocation &, ModuleConnection &, Console &);
int archiveInit(const Invocation &, ModuleConnection &, Console &);
int archiveSync(const Invocation &, ModuleConnection &, Console &);
int archiveVisits(const Invocation &, ModuleConnection &, Console &);
int archiveReport(const Invocation &, ModuleConnection &, Console &);

// The archive of --archive, or the user's own; a network's server only
// where serverAllowed. Returns the exit code of opening it.
int openArchive(const Invocation &invocation, Console &console,
                std::unique_ptr<archive::Database> &database, bool serverAllowed = false);

// Prints a message of the module's operations as the window words it; the
// window's CR LF breaks become the terminal's.
void tell(Console &console, const QString &message);
// Keeps a configuration read from the module or written to it in the
// user's archive, when it is on; serial 0 asks the module for its serial
// number first. A failure is said and changes no exit code.
void keepConfiguration(ModuleConnection &connection, Console &console, quint32 serial, bool written,
                       const config::Configuration &configuration);

// Prints the result's message, if any, and returns its exit code: Success,
// UsageError for input refused before the module heard of it, Failed
// otherwise.
int conclude(Console &console, const OperationResult &result);
// Prints a usage error and returns UsageError.
int usageError(Console &console, const QString &message);

} // namespace cli

#endif
