#include "maintenance/moduleservice.h"

#include "maintenance/firmwareimage.h"
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

int outcome(bool succeeded, const char *success, const char *failure, QString &message)
{
    message = text(succeeded ? success : failure);
    return succeeded ? 0 : -1;
}
} // namespace

int setModuleClock(ModuleSession &session, const QDateTime &now, QString &message)
{
    unsigned char frame[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = maintenance::buildClockFrame(frame, now);
    const bool set = session.transactOnce(frame, length, reply) > 0 && reply[0] == wire::SetClock;
    return outcome(set, "", "Failed to set time.", message);
}

int setSerialNumber(ModuleSession &session, quint32 serialNumber, quint32 &readBack,
                    QString &message)
{
    unsigned char frame[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = maintenance::buildSerialSetFrame(frame, serialNumber);
    if (session.transactOnce(frame, length, reply) == 0 || reply[0] != wire::SerialNumber)
        return outcome(false, "", "Failed to set serial number.", message);

    // What the module now holds, not what was asked for.
    quint32 stored = 0;
    if (session.querySerialNumber(stored) != 0)
        return outcome(false, "", "Failed to get serial number.", message);
    readBack = stored;
    return outcome(true, "Serial Number set.", "", message);
}

int eraseLog(ModuleSession &session, QString &message)
{
    const unsigned char frame = wire::LogErase;
    unsigned char reply[wire::FrameSize];
    const bool erased = session.transactOnce(&frame, 1, reply) > 0 && reply[0] == wire::LogErase;
    return outcome(erased, "Log erased.", "Failed to erase log.", message);
}

int setCellEnabled(ModuleSession &session, bool enabled, QString &message)
{
    if (session.writeParamInt16(CellDisableParameter, enabled ? 0 : 1) != 0)
        return outcome(false, "", "Failed to set Cell Enable/Disable.", message);
    message = enabled ? text("Cell phone enabled.\r\nPlease reset Control Module for change to "
                             "take effect.")
                      : text("Cell phone disabled.\r\nPlease reset Control Module for change to "
                             "take effect.");
    return 0;
}
