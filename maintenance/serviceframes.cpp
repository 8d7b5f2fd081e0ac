#include "maintenance/serviceframes.h"

#include "usb/wire.h"

#include <QDateTime>

#include <cstring>

namespace maintenance
{

namespace
{
// Answered by the module with its current number when sent alone; this
// marker after the code asks it to store a new one.
constexpr unsigned char SerialSetMarker = 0xA5;
} // namespace

qint8 quarterHoursFromUtc(int offsetSeconds)
{
    // Integer division truncates toward zero on both sides of UTC.
    return static_cast<qint8>(offsetSeconds / 900);
}

int buildClockFrame(unsigned char *frame, const QDateTime &localTime)
{
    std::memset(frame, 0, wire::FrameSize);
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    frame[0] = wire::SetClock;
    frame[1] = static_cast<unsigned char>((date.year() - 2000) & 0xFF);
    frame[2] = static_cast<unsigned char>(date.month());
    frame[3] = static_cast<unsigned char>(date.day());
    frame[4] = static_cast<unsigned char>(time.hour());
    frame[5] = static_cast<unsigned char>(time.minute());
    frame[6] = static_cast<unsigned char>(time.second());
    frame[7] = static_cast<unsigned char>(quarterHoursFromUtc(localTime.offsetFromUtc()));
    return ClockFrameLength;
}

int buildSerialSetFrame(unsigned char *frame, quint32 serialNumber)
{
    std::memset(frame, 0, wire::FrameSize);
    frame[0] = wire::SerialNumber;
    frame[1] = SerialSetMarker;
    putUInt32BE(frame + 2, serialNumber);
    return SerialSetFrameLength;
}

} // namespace maintenance
