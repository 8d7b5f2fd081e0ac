#include "usb/modulesession.h"

#include "usb/qusbport.h"
#include "usb/wire.h"

#include <cstring>

namespace
{
constexpr int ReplyWaitCount = 1000;
constexpr int OldestEepromVersion = 4;
constexpr int NewestEepromVersion = 30;
} // namespace

ModuleSession::ModuleSession(QUSBPort &port) : usbPort(port) {}

int ModuleSession::transactOnce(const unsigned char *request, int requestLength,
                                unsigned char *reply)
{
    usbPort.flush();
    usbPort.writeFrame(request, requestLength);
    // Bytes of a short reply that never came read as zero.
    std::memset(reply, 0, wire::FrameSize);
    return usbPort.readBytes(reply, wire::FrameSize, ReplyWaitCount);
}

int ModuleSession::transact(const unsigned char *request, int requestLength, unsigned char *reply)
{
    const int received = transactOnce(request, requestLength, reply);
    if (received > 0)
        return received;
    // A reply that comes after this point is thrown away by the next flush.
    return transactOnce(request, requestLength, reply);
}

namespace
{
// A command succeeds when a reply came and echoes its code; a wrong code is
// not asked again.
bool exchange(ModuleSession &session, const unsigned char *request, int length,
              unsigned char *reply)
{
    return session.transact(request, length, reply) > 0 && reply[0] == request[0];
}

int queryIdentity(ModuleSession &session, wire::CommandCode code, unsigned char *reply)
{
    const unsigned char request[wire::FrameSize] = {code};
    return exchange(session, request, 1, reply) ? 0 : -1;
}
} // namespace

int ModuleSession::readParamFloat(int parameterIndex, float &value)
{
    unsigned char request[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = wire::buildParamRead(request, wire::ReadFloat, parameterIndex);
    if (!exchange(*this, request, length, reply))
        return -1;
    value = wire::floatFromReply(reply);
    return 0;
}

int ModuleSession::writeParamFloat(int parameterIndex, float value)
{
    unsigned char request[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = wire::buildFloatWrite(request, parameterIndex, value);
    return exchange(*this, request, length, reply) ? 0 : -1;
}

int ModuleSession::readParamInt16(int parameterIndex, int &value)
{
    unsigned char request[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = wire::buildParamRead(request, wire::ReadInt16, parameterIndex);
    if (!exchange(*this, request, length, reply))
        return -1;
    value = wire::int16FromReply(reply);
    return 0;
}

int ModuleSession::writeParamInt16(int parameterIndex, int value)
{
    unsigned char request[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = wire::buildInt16Write(request, parameterIndex, value);
    return exchange(*this, request, length, reply) ? 0 : -1;
}

int ModuleSession::readParamString(int parameterIndex, QString &text)
{
    unsigned char request[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = wire::buildParamRead(request, wire::ReadText, parameterIndex);
    if (!exchange(*this, request, length, reply))
        return -1;
    text = wire::textFromReply(reply);
    return 0;
}

int ModuleSession::writeParamString(int parameterIndex, const QString &text)
{
    unsigned char request[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = wire::buildTextWrite(request, parameterIndex, text);
    return exchange(*this, request, length, reply) ? 0 : -1;
}

int ModuleSession::querySerialNumber(quint32 &serialNumber)
{
    unsigned char reply[wire::FrameSize];
    if (queryIdentity(*this, wire::SerialNumber, reply) != 0)
        return -1;
    serialNumber = getUInt32BE(reply + 1);
    return 0;
}

int ModuleSession::querySoftwareVersion(int &version)
{
    unsigned char reply[wire::FrameSize];
    if (queryIdentity(*this, wire::SoftwareVersion, reply) != 0)
        return -1;
    version = getInt16BE(reply + 1);
    return 0;
}

int ModuleSession::queryEepromVersion(int &version)
{
    unsigned char reply[wire::FrameSize];
    if (queryIdentity(*this, wire::EepromVersion, reply) != 0)
        return -1;
    version = getInt16BE(reply + 1);
    return 0;
}

bool ModuleSession::eepromSupported(int version)
{
    return version >= OldestEepromVersion && version <= NewestEepromVersion;
}
