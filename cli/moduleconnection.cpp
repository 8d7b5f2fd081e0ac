#include "cli/moduleconnection.h"

#include "cli/terminalprogress.h"
#include "usb/modulesession.h"
#include "usb/qusbport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace cli
{

ModuleConnection::ModuleConnection(double seconds, Console &out)
    : waitSeconds(seconds), console(out)
{
}

// The session goes first, then the port, which stops its thread and closes
// the module.
ModuleConnection::~ModuleConnection() = default;

int ModuleConnection::open()
{
    if (moduleSession)
        return Success;
    port = std::make_unique<QUSBPort>();

    QEventLoop loop;
    bool opened = false;
    bool failureKnown = false;
    QUSBPort::OpenFailure lastFailure;
    // The port's signals come from its thread; the loop's context makes
    // them queued calls here.
    QObject::connect(port.get(), &QUSBPort::openPortSuccess, &loop, [&] {
        opened = true;
        loop.quit();
    });
    QObject::connect(port.get(), &QUSBPort::openFailureFound, &loop,
                     [&](const QUSBPort::OpenFailure &failure) {
                         failureKnown = true;
                         lastFailure = failure;
                         if (waitSeconds <= 0)
                             loop.quit();
                     });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (waitSeconds > 0)
        deadline.start(int(waitSeconds * 1000));
    // Ctrl-C ends a long wait too.
    QTimer interruptCheck;
    QObject::connect(&interruptCheck, &QTimer::timeout, &loop, [&] {
        if (interrupted())
            loop.quit();
    });
    interruptCheck.start(100);

    port->start(QThread::InheritPriority);
    loop.exec();
    // Whatever was still queued no longer concerns this decision.
    QObject::disconnect(port.get(), nullptr, &loop, nullptr);

    if (!opened) {
        const QString reason =
            failureKnown ? lastFailure.reason() : QUSBPort::OpenFailure().reason();
        console.err << reason << '\n';
        console.err.flush();
        return NoModule;
    }
    moduleSession = std::make_unique<ModuleSession>(*port);
    return Success;
}

ModuleSession &ModuleConnection::session()
{
    return *moduleSession;
}

} // namespace cli
