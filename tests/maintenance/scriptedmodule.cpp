#include "tests/maintenance/scriptedmodule.h"

#include "sim/simdevice.h"

#include <cstring>

namespace
{
QList<QByteArray> reply(int code, const QByteArray &rest = QByteArray())
{
    if (code < 0)
        return {};
    QByteArray frame(64, '\0');
    frame[0] = static_cast<char>(code);
    frame.replace(1, rest.size(), rest);
    return {frame};
}

quint32 u32(const unsigned char *p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
}

QByteArray be32(quint32 value)
{
    return bytes(
        {int(value >> 24), int((value >> 16) & 0xFF), int((value >> 8) & 0xFF), int(value & 0xFF)});
}
} // namespace

ScriptedModule::ScriptedModule()
{
    sim::setResponder([this](const unsigned char *payload) {
        std::vector<sim::Report> reports;
        for (const QByteArray &frame : answer(payload)) {
            sim::Report report{};
            std::memcpy(report.data(), frame.constData(), 64);
            reports.push_back(report);
        }
        return reports;
    });
}

ScriptedModule::~ScriptedModule()
{
    sim::setResponder(nullptr);
}

QList<QByteArray> ScriptedModule::answer(const unsigned char *payload)
{
    if (receiving) {
        // Raw image data: no command byte, placed by arrival order.
        ++dataFrames;
        receivedImage.append(reinterpret_cast<const char *>(payload), 64);
        if (dataFrames == unplugAtDataFrame) {
            sim::unplug();
            return {};
        }
        if (quint32(receivedImage.size()) < announcedSize)
            return {};
        receiving = false;
        if (verdictWithStartReply)
            return {};
        if (unplugAfterImage) {
            sim::unplug();
            return {};
        }
        return reply(finalReply);
    }

    switch (payload[0]) {
    case 0x09:
        announcedChecksum = quint16(payload[1] << 8 | payload[2]);
        announcedSize = u32(payload + 3);
        receivedImage.clear();
        dataFrames = 0;
        receiving = startReply == 0x09;
        if (receiving && verdictWithStartReply)
            return reply(startReply) + reply(finalReply);
        return reply(startReply);
    case 0x08:
        return reply(clockReply);
    case 0x01:
        if (payload[1] == 0xA5) {
            if (serialSetReply == 0x01 && !keepReportedSerial)
                serialNumber = u32(payload + 2);
            return reply(serialSetReply);
        }
        return reply(serialGetReply, be32(serialNumber));
    case 0x06:
        return reply(eraseReply);
    case 0x13:
        if (int16WriteReply == 0x13)
            int16Parameters[payload[1] << 8 | payload[2]] = payload[3] << 8 | payload[4];
        return reply(int16WriteReply);
    default:
        return {};
    }
}

QList<QByteArray> writtenPayloads()
{
    QList<QByteArray> payloads;
    for (const sim::WrittenReport &report : sim::writtenReports())
        payloads.append(QByteArray(reinterpret_cast<const char *>(report.bytes.data()) + 1,
                                   int(report.bytes.size()) - 1));
    return payloads;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(static_cast<char>(value));
    return result;
}
