#include "tests/config/modulestore.h"

namespace
{

void putBE16(unsigned char *to, quint16 value)
{
    to[0] = static_cast<unsigned char>(value >> 8);
    to[1] = static_cast<unsigned char>(value);
}

void putBE32(unsigned char *to, quint32 value)
{
    putBE16(to, static_cast<quint16>(value >> 16));
    putBE16(to + 2, static_cast<quint16>(value));
}

} // namespace

void ModuleStore::install()
{
    sim::setResponder([this](const unsigned char *payload) { return answer(payload); });
}

std::vector<sim::Report> ModuleStore::answer(const unsigned char *payload)
{
    if (observer)
        observer(payload);
    if (silent)
        return {};
    sim::Report reply{};
    const unsigned char code = payload[0];
    reply[0] = code;
    const int index = payload[1] * 256 + payload[2];

    if (code <= 0x07) {
        if (code == wrongCodeForQuery)
            reply[0] = static_cast<unsigned char>(code ^ 0x80);
        if (code == 0x01)
            putBE32(&reply[1], serialNumber);
        else if (code == 0x00)
            putBE16(&reply[1], softwareVersion);
        else if (code == 0x07)
            putBE16(&reply[1], eepromVersion);
        return {reply};
    }

    if (code < 0x10 || code > 0x15)
        return {};
    if (++parameterCommands == wrongCodeAtParameterCommand) {
        reply[0] = 0xEE;
        return {reply};
    }
    // Replies echo the command and the index before the value.
    reply[1] = payload[1];
    reply[2] = payload[2];
    switch (code) {
    case 0x10:
        putBE32(&reply[3], floats.value(index));
        break;
    case 0x11:
        floats[index] = (quint32(payload[3]) << 24) | (quint32(payload[4]) << 16) |
                        (quint32(payload[5]) << 8) | quint32(payload[6]);
        break;
    case 0x12:
        putBE16(&reply[3], words.value(index));
        break;
    case 0x13:
        words[index] = static_cast<quint16>(payload[3] * 256 + payload[4]);
        break;
    case 0x14: {
        const QByteArray text = texts.value(index).left(59);
        reply[3] = static_cast<unsigned char>(text.size());
        std::copy(text.begin(), text.end(), reply.begin() + 4);
        break;
    }
    case 0x15:
        texts[index] =
            QByteArray(reinterpret_cast<const char *>(payload + 4), qMin<int>(payload[3], 59));
        break;
    }
    return {reply};
}
