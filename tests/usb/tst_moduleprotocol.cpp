#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "tests/support/testenvironment.h"
#include "usb/modulesession.h"
#include "usb/qusbport.h"
#include "usb/wire.h"

#include <QTest>

#include <memory>
#include <vector>

namespace
{

using Bytes = std::vector<unsigned char>;

// The 65-byte output report that carries the payload: report ID 0, the
// payload, zero fill.
Bytes report(const Bytes &payload)
{
    Bytes bytes(65, 0);
    std::copy(payload.begin(), payload.end(), bytes.begin() + 1);
    return bytes;
}

sim::Report reply(const Bytes &bytes)
{
    sim::Report r{};
    std::copy(bytes.begin(), bytes.end(), r.begin());
    return r;
}

// A module that answers every request with the same reply.
void answerWith(const Bytes &bytes)
{
    sim::setResponder(
        [bytes](const unsigned char *) { return std::vector<sim::Report>{reply(bytes)}; });
}

// A module that echoes the command code of every request, as it does when it
// accepts a write.
void acknowledgeEverything()
{
    sim::setResponder(
        [](const unsigned char *payload) { return std::vector<sim::Report>{reply({payload[0]})}; });
}

std::vector<Bytes> written()
{
    std::vector<Bytes> reports;
    for (const sim::WrittenReport &r : sim::writtenReports())
        reports.push_back(r.bytes);
    return reports;
}

} // namespace

class ModuleProtocolTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<testenv::CoreSession> core;

private slots:
    void initTestCase() { testenv::isolateSettings(); }

    void init()
    {
        sim::freshModule();
        core = std::make_unique<testenv::CoreSession>();
        QVERIFY(core->waitUntilOpen());
        sim::clearWrittenReports();
    }

    void cleanup()
    {
        core.reset();
        sim::reset();
    }

    void writesSendExactFramesWithZeroFill()
    {
        acknowledgeEverything();
        QCOMPARE(core->session.writeParamFloat(4, 1.0f), 0);
        QCOMPARE(core->session.writeParamInt16(300, -1), 0);
        QCOMPARE(core->session.writeParamInt16(300, 65537), 0);
        QCOMPARE(core->session.writeParamString(556, QString()), 0);
        QCOMPARE(core->session.writeParamString(556, "abc"), 0);
        QCOMPARE(core->session.writeParamString(556, QString::fromUtf8("Zürich")), 0);
        QCOMPARE(core->session.writeParamString(556, QString::fromUtf8("-5 °C € 2")), 0);

        const std::vector<Bytes> expected = {
            report({0x11, 0x00, 0x04, 0x3F, 0x80, 0x00, 0x00}),
            report({0x13, 0x01, 0x2C, 0xFF, 0xFF}),
            report({0x13, 0x01, 0x2C, 0x00, 0x01}),
            report({0x15, 0x02, 0x2C, 0x00}),
            report({0x15, 0x02, 0x2C, 0x03, 'a', 'b', 'c'}),
            // One byte per accented letter, and the length byte agrees.
            report({0x15, 0x02, 0x2C, 0x06, 'Z', 0xFC, 'r', 'i', 'c', 'h'}),
            // The euro sign has no Latin-1 byte and goes out as '?'.
            report({0x15, 0x02, 0x2C, 0x09, '-', '5', ' ', 0xB0, 'C', ' ', '?', ' ', '2'}),
        };
        QVERIFY(written() == expected);
    }

    void readsDecodeTheirRepliesAndSendThreeBytes()
    {
        float number = 0;
        answerWith({0x10, 0xEE, 0xEE, 0x3F, 0xC0, 0x00, 0x00});
        QCOMPARE(core->session.readParamFloat(4, number), 0);
        QCOMPARE(number, 1.5f);

        int value = 0;
        answerWith({0x12, 0x00, 0x00, 0xFF, 0xFF});
        QCOMPARE(core->session.readParamInt16(300, value), 0);
        QCOMPARE(value, -1);
        answerWith({0x12, 0x00, 0x00, 0x7F, 0xFF});
        QCOMPARE(core->session.readParamInt16(300, value), 0);
        QCOMPARE(value, 32767);

        QString text = "previous";
        answerWith({0x14, 0x00, 0x00, 'X', 'M', 0xE4, 'r', 'z', 0x00, 'j', 'u', 'n', 'k'});
        QCOMPARE(core->session.readParamString(556, text), 0);
        QCOMPARE(text, QString::fromUtf8("März"));

        // A text that fills the reply to its end has no NUL: all 60 bytes.
        Bytes full(64, 'q');
        full[0] = 0x14;
        answerWith(full);
        QCOMPARE(core->session.readParamString(556, text), 0);
        QCOMPARE(text, QString(60, 'q'));

        const std::vector<Bytes> expected = {report({0x10, 0x00, 0x04}), report({0x12, 0x01, 0x2C}),
                                             report({0x12, 0x01, 0x2C}), report({0x14, 0x02, 0x2C}),
                                             report({0x14, 0x02, 0x2C})};
        QVERIFY(written() == expected);
    }

    void wrongCodeFailsAtOnceAndKeepsOutputs()
    {
        // A reply meant for another command: no second attempt, nothing
        // delivered.
        answerWith({0x12, 0x00, 0x04, 0x3F, 0x80, 0x00, 0x00});
        float number = 2.5f;
        QCOMPARE(core->session.readParamFloat(4, number), -1);
        QCOMPARE(number, 2.5f);
        QVERIFY(written() == std::vector<Bytes>{report({0x10, 0x00, 0x04})});

        answerWith({0x10, 0x00, 0x00, 0x12, 0x34});
        int value = 77;
        QCOMPARE(core->session.readParamInt16(1, value), -1);
        QCOMPARE(value, 77);

        answerWith({0x13, 0x00, 0x00, 0x00, 'n', 'e', 'w'});
        QString text = "kept";
        QCOMPARE(core->session.readParamString(1, text), -1);
        QCOMPARE(text, QString("kept"));

        answerWith({0x10});
        QCOMPARE(core->session.writeParamFloat(1, 1.0f), -1);
        QCOMPARE(core->session.writeParamInt16(1, 1), -1);
        QCOMPARE(core->session.writeParamString(1, "x"), -1);
        QCOMPARE(written().size(), size_t(6));
    }

    void moduleAnsweringOnlySecondAttemptSucceeds()
    {
        int requests = 0;
        sim::setResponder([&requests](const unsigned char *payload) {
            if (++requests == 1)
                return std::vector<sim::Report>{};
            return std::vector<sim::Report>{reply({payload[0], 0, 0, 0x01, 0x02})};
        });
        int value = 0;
        QCOMPARE(core->session.readParamInt16(9, value), 0);
        QCOMPARE(value, 0x0102);
        const Bytes request = report({0x12, 0x00, 0x09});
        QVERIFY(written() == (std::vector<Bytes>{request, request}));
    }

    void silentModuleFailsAfterTwoAttemptsAndKeepsText()
    {
        sim::module().staySilent(2);
        QString text = "kept";
        QCOMPARE(core->session.readParamString(556, text), -1);
        QCOMPARE(text, QString("kept"));
        const Bytes request = report({0x14, 0x02, 0x2C});
        QVERIFY(written() == (std::vector<Bytes>{request, request}));
    }

    void valuesCrossToTheModuleAndBack()
    {
        sim::SimulatedModule &module = sim::module();
        QCOMPARE(core->session.writeParamFloat(4, -3.722832e-07f), 0);
        QCOMPARE(module.floatParameter(4), -3.722832e-07f);
        QCOMPARE(core->session.writeParamInt16(200, -1), 0);
        QCOMPARE(module.int16Parameter(200), std::uint16_t(0xFFFF));
        QCOMPARE(core->session.writeParamString(556, QString::fromUtf8("Zürich")), 0);
        QCOMPARE(module.textParameter(556), std::string("Z\xFCrich"));

        float number = 0;
        int value = 0;
        QString text;
        QCOMPARE(core->session.readParamFloat(4, number), 0);
        QCOMPARE(number, -3.722832e-07f);
        QCOMPARE(core->session.readParamInt16(200, value), 0);
        QCOMPARE(value, -1);
        QCOMPARE(core->session.readParamString(556, text), 0);
        QCOMPARE(text, QString::fromUtf8("Zürich"));
    }

    void shortReplyIsDecodedFromWhatArrived()
    {
        // Six bytes: the code, three unexamined bytes and "ab"; the rest of
        // the reply must not be taken from an earlier one.
        sim::SimulatedModule &module = sim::module();
        module.setTextParameter(556, "abcdefgh");
        QString text;
        QCOMPARE(core->session.readParamString(556, text), 0);
        module.answerShort(6, 1, wire::ReadText);
        QCOMPARE(core->session.readParamString(556, text), 0);
        QCOMPARE(text, QString("ab"));
    }

    void lateReplyIsDiscardedByTheNextRequest()
    {
        // The first request is answered after the first attempt gave up;
        // the repeated one at once, so the late answer is left over.
        sim::SimulatedModule &module = sim::module();
        module.setInt16Parameter(200, 7);
        module.answerLate(1500, 1, wire::ReadInt16);
        int value = 0;
        QCOMPARE(core->session.readParamInt16(200, value), 0);
        QCOMPARE(value, 7);
        QTRY_COMPARE_WITH_TIMEOUT(sim::pendingInputReports(), 0, 5000);
        QTest::qWait(50);

        module.setInt16Parameter(200, 42);
        QCOMPARE(core->session.readParamInt16(200, value), 0);
        QCOMPARE(value, 42);
    }

    void absentModuleFailsWithoutWriting()
    {
        sim::unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!core->port.isDeviceOpen(), 3000);
        acknowledgeEverything();
        float number = 3.0f;
        QCOMPARE(core->session.readParamFloat(4, number), -1);
        QCOMPARE(number, 3.0f);
        QCOMPARE(core->session.writeParamString(556, "abc"), -1);
        QVERIFY(written().empty());
    }
};

QTEST_MAIN(ModuleProtocolTest)
#include "tst_moduleprotocol.moc"
