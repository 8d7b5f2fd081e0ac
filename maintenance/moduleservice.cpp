#include "maintenance/moduleservice.h"

#include "maintenance/serviceframes.h"
#include "usb/modulesession.h"
#include "usb/wire.h"

#include <QCoreApplication>
#include <QDateTime>

namespace
{
// The module's 16-bit parameter that switches its cell modem: 1 disables it.
constexpr int CellDisableParameter = 240;

QString text(const char *source)
{
    return QCoreApplication::translate("Talvik", source);
}

OperationResult outcome(bool succeeded, const char *success, const char *failure)
{
    return succeeded ? OperationResult::success(text(success))
                     : OperationResult::failure(OperationResult::Reason::Module, text(failure));
}
} // namespace

OperationResult setModuleClock(ModuleSession &session, const QDateTime &now)
{
    unsigned char frame[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = maintenance::buildClockFrame(frame, now);
    const bool set = session.transactOnce(frame, length, reply) > 0 && reply[0] == wire::SetClock;
    return outcome(set, "", "Failed to set time.");
}

OperationResult setSerialNumber(ModuleSession &session, quint32 serialNumber, quint32 &readBack)
{
    unsigned char frame[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = maintenance::buildSerialSetFrame(frame, serialNumber);
    if (session.transactOnce(frame, length, reply) == 0 || reply[0] != wire::SerialNumber)
        return outcome(false, "", "Failed to set serial number.");

    // What the module now holds, not what was asked for.
    quint32 stored = 0;
    if (session.querySerialNumber(stored) != 0)
        return outcome(false, "", "Failed to get serial number.");
    readBack = stored;
    return outcome(true, "Serial Number set.", "");
}

OperationResult eraseLog(ModuleSession &session)
{
    const unsigned char frame = wire::LogErase;
    unsigned char reply[wire::FrameSize];
    const bool erased = session.transactOnce(&frame, 1, reply) > 0 && reply[0] == wire::LogErase;
    return outcome(erased, "Log erased.", "Failed to erase log.");
}

OperationResult setCellEnabled(ModuleSession &session, bool enabled)
{
    if (session.writeParamInt16(CellDisableParameter, enabled ? 0 : 1) != 0)
        return outcome(false, "", "Failed to set Cell Enable/Disable.");
    return OperationResult::success(
        enabled ? text("Cell phone enabled.\r\nPlease reset Control Module for change to "
                       "take effect.")
                : text("Cell phone disabled.\r\nPlease reset Control Module for change to "
                       "take effect."));
}
