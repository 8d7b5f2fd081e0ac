#include "usb/wire.h"

#include <QVector>

#include <cstring>

float getFloatBE(const unsigned char *bytes)
{
    const quint32 bits = getUInt32BE(bytes);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

int getInt16BE(const unsigned char *bytes)
{
    const int value = getUInt16BE(bytes);
    return value >= 0x8000 ? value - 0x10000 : value;
}

int getUInt16BE(const unsigned char *bytes)
{
    return bytes[0] * 256 + bytes[1];
}

quint32 getUInt32BE(const unsigned char *bytes)
{
    return (quint32(bytes[0]) << 24) | (quint32(bytes[1]) << 16) | (quint32(bytes[2]) << 8) |
           quint32(bytes[3]);
}

int putUInt16BE(unsigned char *destination, int value)
{
    destination[0] = static_cast<unsigned char>((value >> 8) & 0xFF);
    destination[1] = static_cast<unsigned char>(value & 0xFF);
    return 2;
}

int putUInt32BE(unsigned char *destination, quint32 value)
{
    destination[0] = static_cast<unsigned char>(value >> 24);
    destination[1] = static_cast<unsigned char>(value >> 16);
    destination[2] = static_cast<unsigned char>(value >> 8);
    destination[3] = static_cast<unsigned char>(value);
    return 4;
}

quint32 floatBits(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void copyBounded(unsigned char *destination, int size, const char *source)
{
    if (size <= 0)
        return;
    int copied = 0;
    while (copied < size - 1 && source[copied] != '\0') {
        destination[copied] = static_cast<unsigned char>(source[copied]);
        ++copied;
    }
    destination[copied] = '\0';
}

namespace wire
{

namespace
{
constexpr int TextOffset = 4;
constexpr int TextRoom = FrameSize - TextOffset;
} // namespace

QByteArray encodeText(const QString &text)
{
    // One byte per character, counted in code points so that a character
    // outside the Basic Multilingual Plane also becomes a single '?'.
    const QVector<uint> codePoints = text.toUcs4();
    QByteArray bytes;
    bytes.reserve(codePoints.size());
    for (const uint codePoint : codePoints)
        bytes.append(codePoint <= 0xFF ? static_cast<char>(codePoint) : '?');
    return bytes;
}

QString decodeText(const unsigned char *bytes, int maxLength)
{
    int length = 0;
    while (length < maxLength && bytes[length] != '\0')
        ++length;
    return QString::fromLatin1(reinterpret_cast<const char *>(bytes), length);
}

int buildParamRead(unsigned char *frame, CommandCode code, int parameterIndex)
{
    std::memset(frame, 0, FrameSize);
    frame[0] = code;
    putUInt16BE(frame + 1, parameterIndex);
    return 3;
}

int buildFloatWrite(unsigned char *frame, int parameterIndex, float value)
{
    std::memset(frame, 0, FrameSize);
    frame[0] = WriteFloat;
    putUInt16BE(frame + 1, parameterIndex);
    putUInt32BE(frame + 3, floatBits(value));
    return 7;
}

int buildInt16Write(unsigned char *frame, int parameterIndex, int value)
{
    std::memset(frame, 0, FrameSize);
    frame[0] = WriteInt16;
    putUInt16BE(frame + 1, parameterIndex);
    putUInt16BE(frame + 3, value);
    return 5;
}

int buildTextWrite(unsigned char *frame, int parameterIndex, const QString &text)
{
    std::memset(frame, 0, FrameSize);
    const QByteArray encoded = encodeText(text);
    frame[0] = WriteText;
    putUInt16BE(frame + 1, parameterIndex);
    frame[3] = static_cast<unsigned char>(encoded.size() & 0xFF);
    copyBounded(frame + TextOffset, TextRoom, encoded.constData());
    // A text longer than the frame keeps its full count in the length byte
    // but is cut to 59 bytes and a NUL.
    return qMin(encoded.size() + TextOffset, FrameSize);
}

float floatFromReply(const unsigned char *reply)
{
    return getFloatBE(reply + 3);
}

int int16FromReply(const unsigned char *reply)
{
    return getInt16BE(reply + 3);
}

QString textFromReply(const unsigned char *reply)
{
    return decodeText(reply + TextOffset, TextRoom);
}

} // namespace wire
