#include "app/talvik.h"

#include "usb/qusbport.h"
#include "usb/wire.h"

#include <cstring>

namespace
{
constexpr int ReplyWaitCount = 1000;

// A parameter command succeeds when a reply came and echoes its code; a wrong
// code is not asked again.
bool exchange(Talvik &window, const unsigned char *request, int length, unsigned char *reply)
{
    return window.transact(request, length, reply) > 0 && reply[0] == request[0];
}
} // namespace

int Talvik::transactOnce(const unsigned char *request, int requestLength, unsigned char *reply)
{
    usbPort->flush();
    usbPort->writeFrame(request, requestLength);
    // Bytes of a short reply that never came read as zero.
    std::memset(reply, 0, wire::FrameSize);
    return usbPort->readBytes(reply, wire::FrameSize, ReplyWaitCount);
}

int Talvik::transact(const unsigned char *request, int requestLength, unsigned char *reply)
{
    const int received = transactOnce(request, requestLength, reply);
    if (received > 0)
        return received;
    // A reply that comes after this point is thrown away by the next flush.
    return transactOnce(request, requestLength, reply);
}

int Talvik::readParamFloat(int parameterIndex, float &value)
{
    unsigned char request[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = wire::buildParamRead(request, wire::ReadFloat, parameterIndex);
    if (!exchange(*this, request, length, reply))
        return -1;
    value = wire::floatFromReply(reply);
    return 0;
}

int Talvik::writeParamFloat(int parameterIndex, float value)
{
    unsigned char request[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = wire::buildFloatWrite(request, parameterIndex, value);
    if (!exchange(*this, request, length, reply))
        return -1;
    return 0;
}

int Talvik::readParamInt16(int parameterIndex, int &value)
{
    unsigned char request[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = wire::buildParamRead(request, wire::ReadInt16, parameterIndex);
    if (!exchange(*this, request, length, reply))
        return -1;
    value = wire::int16FromReply(reply);
    return 0;
}

int Talvik::writeParamInt16(int parameterIndex, int value)
{
    unsigned char request[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = wire::buildInt16Write(request, parameterIndex, value);
    if (!exchange(*this, request, length, reply))
        return -1;
    return 0;
}

int Talvik::readParamString(int parameterIndex, QString &text)
{
    unsigned char request[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = wire::buildParamRead(request, wire::ReadText, parameterIndex);
    if (!exchange(*this, request, length, reply))
        return -1;
    text = wire::textFromReply(reply);
    return 0;
}

int Talvik::writeParamString(int parameterIndex, const QString &text)
{
    unsigned char request[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = wire::buildTextWrite(request, parameterIndex, text);
    if (!exchange(*this, request, length, reply))
        return -1;
    return 0;
}
