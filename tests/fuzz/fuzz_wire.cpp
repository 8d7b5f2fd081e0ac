// Fuzz target: the byte order helpers, the request builders and the reply
// decoders. Input: a reply frame of 64 bytes (zero padded), a byte that
// bounds decodeText, and the rest as a text to send, taken once as UTF-8
// and once as UTF-16.
//
// Frames are heap blocks of exactly 64 bytes, so any access past a frame is
// caught. What a builder puts into a frame must decode back to what it was
// given, as the module would read it.

#include "fuzzcheck.h"

#include "usb/wire.h"

#include <QString>
#include <QVector>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace
{

std::unique_ptr<unsigned char[]> newFrame()
{
    return std::unique_ptr<unsigned char[]>(new unsigned char[wire::FrameSize]);
}

// The module reads a text request's bytes up to the first NUL, at most the
// 59 the frame has room for; a character Latin-1 lacks arrives as '?'.
QString textTheModuleReads(const QString &text)
{
    QString expected;
    for (const uint codePoint : text.toUcs4()) {
        if (codePoint == 0 || expected.size() == wire::FrameSize - 5)
            break;
        expected += codePoint <= 0xFF ? QChar(codePoint) : QLatin1Char('?');
    }
    return expected;
}

void checkTextRequest(const QString &text, int parameterIndex)
{
    auto request = newFrame();
    const int length = wire::buildTextWrite(request.get(), parameterIndex, text);
    const QByteArray encoded = wire::encodeText(text);
    FUZZ_CHECK(encoded.size() == text.toUcs4().size());
    FUZZ_CHECK(length == std::min(encoded.size() + 4, wire::FrameSize));
    FUZZ_CHECK(request[0] == wire::WriteText);
    FUZZ_CHECK(getUInt16BE(request.get() + 1) == (parameterIndex & 0xFFFF));
    FUZZ_CHECK(request[3] == (encoded.size() & 0xFF));
    FUZZ_CHECK(wire::textFromReply(request.get()) == textTheModuleReads(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    auto reply = newFrame();
    std::memset(reply.get(), 0, wire::FrameSize);
    std::memcpy(reply.get(), data, std::min<size_t>(size, wire::FrameSize));

    const int int16 = wire::int16FromReply(reply.get());
    FUZZ_CHECK(int16 >= -32768 && int16 <= 32767);
    const float real = wire::floatFromReply(reply.get());
    FUZZ_CHECK(floatBits(real) == getUInt32BE(reply.get() + 3));
    const QString replyText = wire::textFromReply(reply.get());
    FUZZ_CHECK(replyText.size() <= wire::FrameSize - 4 && !replyText.contains(QChar(0)));
    const int maxLength = size > 64 ? data[64] % (wire::FrameSize + 1) : wire::FrameSize;
    FUZZ_CHECK(wire::decodeText(reply.get(), maxLength).size() <= maxLength);

    // Number requests read back as the value and index asked for; an index
    // beyond 16 bits keeps its low 16.
    const int index = getInt16BE(reply.get() + 8) * 3;
    auto request = newFrame();
    FUZZ_CHECK(wire::buildParamRead(request.get(), wire::ReadInt16, index) == 3);
    FUZZ_CHECK(request[0] == wire::ReadInt16);
    FUZZ_CHECK(getUInt16BE(request.get() + 1) == (index & 0xFFFF));
    FUZZ_CHECK(wire::buildFloatWrite(request.get(), index, real) == 7);
    FUZZ_CHECK(floatBits(wire::floatFromReply(request.get())) == floatBits(real));
    FUZZ_CHECK(wire::buildInt16Write(request.get(), index, int16) == 5);
    FUZZ_CHECK(wire::int16FromReply(request.get()) == int16);
    unsigned char word[4];
    putUInt32BE(word, getUInt32BE(reply.get() + 20));
    FUZZ_CHECK(std::memcmp(word, reply.get() + 20, 4) == 0);

    // copyBounded writes at most room bytes, the last a NUL.
    const int room = reply[12] % (wire::FrameSize + 1);
    std::unique_ptr<unsigned char[]> bounded(new unsigned char[std::max(room, 1)]);
    const QByteArray source(reinterpret_cast<const char *>(data), int(size));
    copyBounded(bounded.get(), room, source.constData());
    if (room > 0)
        FUZZ_CHECK(std::memchr(bounded.get(), 0, size_t(room)) != nullptr);

    if (size > 65) {
        const char *rest = reinterpret_cast<const char *>(data) + 65;
        const int restSize = int(size - 65);
        checkTextRequest(QString::fromUtf8(rest, restSize), index);
        QVector<char16_t> units(restSize / 2);
        std::memcpy(units.data(), rest, size_t(units.size()) * 2);
        checkTextRequest(QString::fromUtf16(units.constData(), units.size()), index);
    }
    return 0;
}
