#ifndef TESTENVIRONMENT_H
#define TESTENVIRONMENT_H

#include "usb/modulesession.h"
#include "usb/qusbport.h"

#include <QString>

#include <memory>

class Talvik;

namespace testenv
{

// Points the per-user settings of this process at a fresh temporary folder,
// so no test reads or writes the real user's preferences. Call before the
// first window is made.
void isolateSettings();
// The folder isolateSettings made; tests may put their files there too.
QString scratchDirectory();

// Writes Talvik.ini beside the test executable, or removes it.
void writeTalvikIni(const QString &contents);
void removeTalvikIni();

// Waits, with the event loop running, until the window shows the status.
bool waitForStatus(Talvik &window, const QString &status, int timeoutMs = 3000);

// Plugs the simulated module in, shows a new window, waits for "Connected"
// and forgets the reports sent so far; null when it did not connect.
std::unique_ptr<Talvik> openConnectedWindow();

// A port thread and a module session on it, with no window, for tests of
// the core. The thread starts at once and is stopped and waited for when
// this goes.
class CoreSession
{
public:
    CoreSession();
    ~CoreSession();
    // Waits, with the event loop running, until the port has the module open.
    bool waitUntilOpen(int timeoutMs = 3000);

    QUSBPort port;
    ModuleSession session;
};

} // namespace testenv

#endif
