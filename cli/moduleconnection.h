#ifndef MODULECONNECTION_H
#define MODULECONNECTION_H

#include "cli/console.h"

#include <memory>

class ModuleSession;
class QUSBPort;

namespace cli
{

// The module for one command: the port thread is started only when the
// command is ready to talk (so a wrong file name never touches the module),
// and stopped, with the module closed and its lock released, at the end.
class ModuleConnection
{
public:
    ModuleConnection(double waitSeconds, Console &console);
    ~ModuleConnection();
    ModuleConnection(const ModuleConnection &) = delete;
    ModuleConnection &operator=(const ModuleConnection &) = delete;

    // Success once the module is open. Otherwise NoModule, after telling
    // why on the console: at once, or when the wait is over.
    int open();
    // Valid after open succeeded.
    ModuleSession &session();

private:
    const double waitSeconds;
    Console &console;
    std::unique_ptr<QUSBPort> port;
    std::unique_ptr<ModuleSession> moduleSession;
};

} // namespace cli

#endif
