#ifndef SERVICEFRAMES_H
#define SERVICEFRAMES_H

#include <QtGlobal>

class QDateTime;

// The frames of the service commands that set the module's clock and serial
// number. Plain code: no widgets, no port.
namespace maintenance
{

constexpr int ClockFrameLength = 8;
constexpr int SerialSetFrameLength = 6;

// Each builder fills frame (at least 64 bytes, zero after the command) and
// returns the number of bytes to send.
int buildClockFrame(unsigned char *frame, const QDateTime &localTime);
int buildSerialSetFrame(unsigned char *frame, quint32 serialNumber);

// The seconds of the local time's distance from UTC in whole quarter hours,
// truncated toward zero, as the module's signed byte.
qint8 quarterHoursFromUtc(int offsetSeconds);

} // namespace maintenance

#endif
