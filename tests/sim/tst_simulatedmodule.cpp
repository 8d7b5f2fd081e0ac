#include "sim/logrecords.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"

#include <hidapi/hidapi.h>

#include <QTest>

#include <chrono>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

using Bytes = std::vector<unsigned char>;
using namespace std::chrono;

namespace
{

// Speaks to the module the way a host does: 65-byte output reports with
// report ID 0, 64-byte input reports.
class Host
{
public:
    Host() : device(hid_open(0x04D8, 0xF747, nullptr)) {}
    ~Host()
    {
        if (device != nullptr)
            hid_close(device);
    }
    bool opened() const { return device != nullptr; }

    int send(const Bytes &payload)
    {
        unsigned char report[65] = {};
        std::memcpy(report + 1, payload.data(), std::min<size_t>(payload.size(), 64));
        return hid_write(device, report, sizeof report);
    }
    // One input report; empty when none came in time. lost tells a device
    // that went away from a silent one.
    Bytes read(int milliseconds = 100)
    {
        unsigned char buffer[65];
        const int n = hid_read_timeout(device, buffer, sizeof buffer, milliseconds);
        lost = n < 0;
        return n > 0 ? Bytes(buffer, buffer + n) : Bytes();
    }
    Bytes request(const Bytes &payload)
    {
        send(payload);
        return read();
    }
    // A batch of records, as many as arrive whole.
    std::vector<sim::Record> fetch(quint32 first, int count)
    {
        send({0x04, Bytes::value_type(first >> 24), Bytes::value_type(first >> 16),
              Bytes::value_type(first >> 8), Bytes::value_type(first),
              Bytes::value_type(count >> 8), Bytes::value_type(count)});
        std::vector<sim::Record> records;
        for (int i = 0; i < count; ++i) {
            const Bytes low = read(), high = read();
            if (low.size() != 64 || high.size() != 64)
                return records;
            sim::Record record;
            std::copy(low.begin(), low.end(), record.begin());
            std::copy(high.begin(), high.end(), record.begin() + 64);
            records.push_back(record);
        }
        return records;
    }

    bool lost = false;

private:
    hid_device *device;
};

// Byte i of a reply, -1 when the reply is shorter.
int byteAt(const Bytes &reply, size_t i)
{
    return i < reply.size() ? reply[i] : -1;
}

int codeOf(const Bytes &reply)
{
    return byteAt(reply, 0);
}

Bytes slice(const Bytes &reply, size_t from, size_t to)
{
    return Bytes(reply.begin() + std::min(from, reply.size()),
                 reply.begin() + std::min(to, reply.size()));
}

// Bytes 1..4 of a reply, -1 when it is too short to hold them.
qint64 u32(const Bytes &reply)
{
    if (reply.size() < 5)
        return -1;
    return qint64(reply[1]) << 24 | reply[2] << 16 | reply[3] << 8 | reply[4];
}

// Checksum by its definition, apart from the module's own code.
bool checksumHolds(const sim::Record &record)
{
    int sum = 0;
    for (int i = 0; i < 126; ++i)
        sum += static_cast<signed char>(record[i]);
    return (record[126] << 8 | record[127]) == (sum & 0xFFFF);
}

} // namespace

class SimulatedModuleTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { sim::freshModule(); }

    void parameterCommandsKeepValuesByBand()
    {
        sim::SimulatedModule &module = sim::module();
        Host host;
        QVERIFY(host.opened());

        QCOMPARE(codeOf(host.request({0x11, 0x00, 0x04, 0x3F, 0x80, 0x00, 0x00})), 0x11);
        QCOMPARE(module.floatParameter(4), 1.0f);
        const Bytes floatReply = host.request({0x10, 0x00, 0x04});
        QCOMPARE(slice(floatReply, 0, 7), (Bytes{0x10, 0x00, 0x04, 0x3F, 0x80, 0x00, 0x00}));

        host.request({0x13, 0x00, 0xF0, 0xFF, 0xFF});
        QCOMPARE(module.int16Parameter(240), quint16(0xFFFF));
        QCOMPARE(module.cellSwitch(), -1);
        const Bytes int16Reply = host.request({0x12, 0x00, 0xF0});
        QCOMPARE(byteAt(int16Reply, 3), 0xFF);
        QCOMPARE(byteAt(int16Reply, 4), 0xFF);

        // A text longer than 59 bytes arrives cut, with a NUL in byte 63.
        Bytes longText{0x15, 0x02, 0x2C, 70};
        for (int i = 0; i < 59; ++i)
            longText.push_back(static_cast<unsigned char>('A' + i % 26));
        host.request(longText);
        QCOMPARE(module.textParameter(556).size(), size_t(59));
        const Bytes textReply = host.request({0x14, 0x02, 0x2C});
        QCOMPARE(slice(textReply, 4, 63), Bytes(longText.begin() + 4, longText.end()));
        QCOMPARE(byteAt(textReply, 63), 0);
        host.request({0x15, 0x02, 0x2C, 0});
        QCOMPARE(module.textParameter(556), std::string());

        // Indices outside their type's band are refused and change nothing.
        for (const Bytes &unknown :
             {Bytes{0x10, 0x00, 0x02}, Bytes{0x10, 0x00, 0xC8}, Bytes{0x12, 0x00, 0xC9},
              Bytes{0x12, 0x01, 0x0A}, Bytes{0x14, 0x01, 0xF3}, Bytes{0x15, 0x03, 0xA7, 1, 'x'}})
            QCOMPARE(codeOf(host.request(unknown)), 0xFF);
        QCOMPARE(module.textParameter(935), std::string());
    }

    void identityAndServiceCommandsAreKept()
    {
        sim::SimulatedModule &module = sim::module();
        module.setSoftwareVersion(-2);
        module.setEepromVersion(31);
        Host host;

        const Bytes version = host.request({0x00});
        QCOMPARE(byteAt(version, 1), 0xFF);
        QCOMPARE(byteAt(version, 2), 0xFE);
        QCOMPARE(byteAt(host.request({0x07}), 2), 31);
        // The query carries no key, so it must not overwrite the number.
        QCOMPARE(u32(host.request({0x01})), qint64(20471));
        QCOMPARE(module.serialSetCount(), 0);
        QCOMPARE(u32(host.request({0x01, 0xA5, 0x00, 0x00, 0x00, 0x00})), qint64(0));
        QCOMPARE(module.serialNumber(), quint32(0));
        QCOMPARE(module.serialSetCount(), 1);

        host.request({0x08, 24, 3, 5, 14, 7, 9, 0xE0});
        QVERIFY(module.lastClockFrame().has_value());
        QCOMPARE(module.lastClockFrame()->at(7), 0xE0);

        module.addRecords(sim::generateLog(20, 1));
        QCOMPARE(codeOf(host.request({0x06})), 0x06);
        QCOMPARE(module.recordCount(), quint32(0));
        QCOMPARE(module.eraseCount(), 1);
        QCOMPARE(codeOf(host.request({0x0A})), 0xFF);
    }

    void generatedRecordsCarryValidChecksumsOfEveryKind()
    {
        sim::LogOptions options;
        options.everyBlockCombination = true;
        const std::vector<sim::Record> log = sim::generateLog(5000, 7, options);
        QCOMPARE(log.size(), size_t(5000));

        std::set<int> kinds;
        std::set<int> firstBlocks;
        int erased = 0, signedMatters = 0;
        for (const sim::Record &record : log) {
            if (record[4] == 0xFF) {
                QVERIFY(std::all_of(record.begin(), record.end(), [](int b) { return b == 0xFF; }));
                ++erased;
                continue;
            }
            QVERIFY2(checksumHolds(record), qPrintable(QString::number(record[3])));
            int unsignedSum = 0;
            for (int i = 0; i < 126; ++i)
                unsignedSum += record[i];
            signedMatters += (unsignedSum & 0xFFFF) != (record[126] << 8 | record[127]);
            kinds.insert(record[8] == 0 ? record[9] : 10 + record[8]);
            if (record[8] == 2)
                firstBlocks.insert(record[91] << 8 | record[92]);
        }
        QCOMPARE(kinds, (std::set<int>{0, 1, 2, 11, 12})); // boot, clock, text, error, measurement
        QCOMPARE(firstBlocks, (std::set<int>{0, 0xAA01, 0xAA10, 0xAA20}));
        QVERIFY(erased > 0);
        QVERIFY(signedMatters > 0);

        // Built by hand with every block: the checksum survives the cut blocks.
        sim::Measurement full;
        full.soil = sim::SoilBlock{};
        full.solvane = sim::SolvaneBlock{-5, 7};
        full.globe1 = -1.5f;
        full.globe2 = 2.5f;
        const sim::Record crowded = sim::makeMeasurementRecord(9, {}, full);
        QVERIFY(checksumHolds(crowded));
        QCOMPARE(crowded[119] << 8 | crowded[120], 0xAA10);
        QVERIFY(checksumHolds(sim::makeErrorRecord(1, {}, -2, std::string(200, '\x80'))));
    }

    void downloadOffersOnlyRecordsNotYetConfirmed()
    {
        sim::SimulatedModule &module = sim::module();
        const std::vector<sim::Record> log = sim::generateLog(300, 3);
        module.addRecords(log);
        Host host;

        QCOMPARE(u32(host.request({0x03})), qint64(300));
        std::vector<sim::Record> fetched;
        for (quint32 first : {0, 128, 256}) {
            const auto batch = host.fetch(first, std::min<int>(128, 300 - int(first)));
            fetched.insert(fetched.end(), batch.begin(), batch.end());
        }
        QVERIFY(fetched == log);
        QCOMPARE(codeOf(host.request({0x05})), 1);
        QCOMPARE(u32(host.request({0x03})), qint64(0));

        const std::vector<sim::Record> more = sim::generateLog(10, 4);
        module.addRecords(more);
        QCOMPARE(u32(host.request({0x03})), qint64(10));
        const auto part = host.fetch(0, 4);
        QVERIFY(std::equal(part.begin(), part.end(), more.begin()));
        // Only what was sent is confirmed.
        QCOMPARE(codeOf(host.request({0x05})), 1);
        QCOMPARE(u32(host.request({0x03})), qint64(6));
        QCOMPARE(u32(host.request({0x02})), qint64(310));
        QCOMPARE(host.fetch(309, 5).size(), size_t(1));

        module.setOfferedRecordCount(60000);
        QCOMPARE(u32(host.request({0x02})), qint64(60000));
        const auto beyond = host.fetch(59999, 1);
        QCOMPARE(beyond.size(), size_t(1));
        QVERIFY(checksumHolds(beyond[0]));
    }

    void requestFaultsFireExactlyWhenAsked()
    {
        sim::SimulatedModule &module = sim::module();
        Host host;

        module.staySilent(2);
        QVERIFY(host.request({0x00}).empty());
        QVERIFY(host.request({0x00}).empty());
        QCOMPARE(host.request({0x00}).size(), size_t(64));

        // Only the asked command is hit, and a refused write changes nothing.
        module.answerWrongCode(0x12, 1, 0x13);
        QCOMPARE(codeOf(host.request({0x12, 0x00, 0xC8})), 0x12);
        QCOMPARE(codeOf(host.request({0x13, 0x00, 0xC8, 0x00, 0x04})), 0x12);
        QCOMPARE(module.int16Parameter(200), quint16(1));
        QCOMPARE(codeOf(host.request({0x13, 0x00, 0xC8, 0x00, 0x04})), 0x13);

        // A set that is carried out, then a read-back that goes unanswered twice.
        module.addFault({sim::FaultKind::Silent, 0, 0x01, 1, 2});
        QCOMPARE(codeOf(host.request({0x01, 0xA5, 0, 0, 0, 9})), 0x01);
        QVERIFY(host.request({0x01}).empty());
        QVERIFY(host.request({0x01}).empty());
        QCOMPARE(u32(host.request({0x01})), qint64(9));

        module.answerShort(10);
        QCOMPARE(host.request({0x07}).size(), size_t(10));
        QCOMPARE(host.request({0x07}).size(), size_t(64));

        module.answerLate(300);
        const auto asked = steady_clock::now();
        QVERIFY(host.request({0x00}).empty());
        QCOMPARE(host.read(2000).size(), size_t(64));
        QVERIFY(steady_clock::now() - asked >= milliseconds(300));
    }

    void recordAndBusFaultsFireExactlyWhenAsked()
    {
        sim::SimulatedModule &module = sim::module();
        module.addRecords(sim::generateLog(20, 5, sim::LogOptions{0, {}, 600, true}));
        module.corruptRecord(3, sim::Corruption::Once);
        module.corruptRecord(5, sim::Corruption::Always);
        Host host;
        host.request({0x02});
        for (int pass = 0; pass < 2; ++pass) {
            const auto batch = host.fetch(0, 8);
            QCOMPARE(batch.size(), size_t(8));
            for (int slot = 0; slot < 8; ++slot)
                QCOMPARE(checksumHolds(batch[slot]), slot != 5 && (slot != 3 || pass == 1));
        }

        // A burst splits the answer after its first half; no record byte is lost.
        module.addFault({sim::FaultKind::Burst, 3, 0x04, 0, 1});
        host.send({0x04, 0, 0, 0, 10, 0, 2});
        Bytes received;
        for (Bytes report = host.read(); !report.empty(); report = host.read(20))
            received.insert(received.end(), report.begin(), report.end());
        const std::vector<sim::Record> log = module.records();
        Bytes expected(log[10].begin(), log[10].end());
        expected.insert(expected.end(), 3 * 64, 0xFF);
        expected.insert(expected.end(), log[11].begin(), log[11].end());
        QCOMPARE(received, expected);

        module.dropOffAfterRecords(3);
        QCOMPARE(host.fetch(0, 8).size(), size_t(3));
        QVERIFY(host.lost);
        QVERIFY(!sim::isPlugged());

        sim::plug();
        Host second;
        sim::dropOffAfterOutputReports(2);
        QCOMPARE(second.send({0x00}), 65);
        QCOMPARE(second.send({0x00}), 65);
        QCOMPARE(second.send({0x00}), -1);

        sim::plug();
        Host third;
        sim::floodInputReports(200);
        QCOMPARE(sim::pendingInputReports(), 200);
        sim::dropOffAfterInputReports(2);
        QCOMPARE(third.read().size(), size_t(64));
        QCOMPARE(third.read().size(), size_t(64));
        QVERIFY(third.read().empty() && third.lost);
    }

    void fullSpeedPacingHoldsOneReportPerMillisecond()
    {
        sim::setPacing(sim::Pacing::FullSpeed);
        Host host;
        const auto start = steady_clock::now();
        for (int i = 0; i < 40; ++i)
            host.send({0x06});
        const auto written = sim::writtenReports();
        QCOMPARE(written.size(), size_t(40));
        for (size_t i = 1; i < written.size(); ++i)
            QVERIFY(written[i].time - written[i - 1].time >= milliseconds(1));

        // Each answer was due one frame after its request, so a reader that
        // comes late finds them all waiting, as in the host's input buffer.
        std::this_thread::sleep_for(milliseconds(5));
        for (int i = 0; i < 40; ++i)
            QCOMPARE(host.read(0).size(), size_t(64));
        QVERIFY(host.read(0).empty());

        // One long answer still comes one report a frame to an eager reader.
        sim::module().addRecords(sim::generateLog(20, 3));
        const auto fetching = steady_clock::now();
        QCOMPARE(host.fetch(0, 20).size(), size_t(20));
        QVERIFY(steady_clock::now() - fetching >= milliseconds(39));
        QVERIFY(steady_clock::now() - start >= milliseconds(78));
    }

    void firmwareUploadTakesExactlyTheAnnouncedBytes()
    {
        sim::SimulatedModule &module = sim::module();
        Host host;
        Bytes image(100);
        unsigned sum = 0;
        for (size_t i = 0; i < image.size(); ++i)
            sum += image[i] = static_cast<unsigned char>(i * 37 + 200);

        for (const bool intact : {true, false}) {
            const unsigned announced = intact ? sum : sum + 1;
            const Bytes start{
                0x09, Bytes::value_type(announced >> 8), Bytes::value_type(announced), 0, 0, 0,
                100};
            QCOMPARE(codeOf(host.request(start)), 0x09);
            host.send(Bytes(image.begin(), image.begin() + 64));
            QVERIFY(host.read(50).empty());
            Bytes last(image.begin() + 64, image.end());
            last.resize(64, 0xEE); // filler beyond the image
            QCOMPARE(codeOf(host.request(last)), intact ? 0x0A : 0x0B);
            QVERIFY(module.firmwareImage() == image);
            QCOMPARE(module.firmwareVerdict(),
                     intact ? sim::FirmwareVerdict::Accepted : sim::FirmwareVerdict::Rejected);
        }
        // Afterwards the module listens for commands again; an empty image is refused.
        QCOMPARE(codeOf(host.request({0x00})), 0x00);
        QCOMPARE(codeOf(host.request({0x09, 0, 0, 0, 0, 0, 0})), 0xFF);
        QCOMPARE(codeOf(host.request({0x00})), 0x00);
    }
};

QTEST_GUILESS_MAIN(SimulatedModuleTest)
#include "tst_simulatedmodule.moc"
