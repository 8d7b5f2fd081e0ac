#ifndef WIRE_H
#define WIRE_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Byte order of the module: every multi-byte value on the wire and in log
// records is big-endian; floats are IEEE 754 single precision.
float getFloatBE(const unsigned char *bytes);
int getInt16BE(const unsigned char *bytes);
int getUInt16BE(const unsigned char *bytes);
quint32 getUInt32BE(const unsigned char *bytes);
int putUInt16BE(unsigned char *destination, int value);
int putUInt32BE(unsigned char *destination, quint32 value);
quint32 floatBits(float value);

// Copies the NUL-terminated source, at most size - 1 bytes of it, and ends
// the copy with a NUL.
void copyBounded(unsigned char *destination, int size, const char *source);

namespace wire
{

constexpr int FrameSize = 64;

enum CommandCode : unsigned char {
    SoftwareVersion = 0x00,
    SerialNumber = 0x01,
    LogStartFull = 0x02,
    LogStartNew = 0x03,
    LogFetch = 0x04,
    LogFinish = 0x05,
    LogErase = 0x06,
    EepromVersion = 0x07,
    SetClock = 0x08,
    FirmwareStart = 0x09,
    FirmwareAccepted = 0x0A,
    ReadFloat = 0x10,
    WriteFloat = 0x11,
    ReadInt16 = 0x12,
    WriteInt16 = 0x13,
    ReadText = 0x14,
    WriteText = 0x15,
};

// The module keeps texts as single bytes. Latin-1 keeps one byte per
// character in both directions, so the length byte always matches the bytes
// sent; a character Latin-1 cannot hold goes out as '?'.
QByteArray encodeText(const QString &text);
QString decodeText(const unsigned char *bytes, int maxLength);

// Request builders: each fills frame (at least 64 bytes) and returns the
// number of payload bytes to send.
int buildParamRead(unsigned char *frame, CommandCode code, int parameterIndex);
int buildFloatWrite(unsigned char *frame, int parameterIndex, float value);
int buildInt16Write(unsigned char *frame, int parameterIndex, int value);
int buildTextWrite(unsigned char *frame, int parameterIndex, const QString &text);

// Reply decoders for the parameter reads.
float floatFromReply(const unsigned char *reply);
int int16FromReply(const unsigned char *reply);
QString textFromReply(const unsigned char *reply);

} // namespace wire

#endif
