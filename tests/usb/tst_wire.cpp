#include "usb/wire.h"

#include <QTest>

#include <array>
#include <vector>

namespace
{

using Frame = std::array<unsigned char, wire::FrameSize>;

// A frame full of bytes the builders must overwrite.
Frame dirtyFrame()
{
    Frame frame;
    frame.fill(0xEE);
    return frame;
}

std::vector<unsigned char> bytesOf(const Frame &frame, int length)
{
    return std::vector<unsigned char>(frame.begin(), frame.begin() + length);
}

bool zeroFrom(const Frame &frame, int offset)
{
    for (int i = offset; i < wire::FrameSize; ++i)
        if (frame[i] != 0)
            return false;
    return true;
}

} // namespace

class WireTest : public QObject
{
    Q_OBJECT

private slots:
    void readersTakeBytesAsUnsignedMostSignificantFirst()
    {
        const unsigned char minusOne[] = {0xFF, 0xFF};
        const unsigned char largest[] = {0x7F, 0xFF};
        const unsigned char smallest[] = {0x80, 0x00};
        const unsigned char mixed[] = {0x01, 0x82};
        QCOMPARE(getInt16BE(minusOne), -1);
        QCOMPARE(getInt16BE(largest), 32767);
        QCOMPARE(getInt16BE(smallest), -32768);
        QCOMPARE(getInt16BE(mixed), 0x0182);
        QCOMPARE(getUInt16BE(minusOne), 65535);
        QCOMPARE(getUInt16BE(smallest), 32768);

        const unsigned char word[] = {0xFF, 0xFE, 0x80, 0x7C};
        QCOMPARE(getUInt32BE(word), quint32(0xFFFE807C));

        const unsigned char one[] = {0x3F, 0x80, 0x00, 0x00};
        const unsigned char minusTwoAndAHalf[] = {0xC0, 0x20, 0x00, 0x00};
        QCOMPARE(getFloatBE(one), 1.0f);
        QCOMPARE(getFloatBE(minusTwoAndAHalf), -2.5f);
    }

    void writersStoreLowBitsMostSignificantFirst()
    {
        unsigned char bytes[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
        QCOMPARE(putUInt16BE(bytes, -1), 2);
        QCOMPARE(bytes[0], 0xFF);
        QCOMPARE(bytes[1], 0xFF);
        QCOMPARE(bytes[2], 0xEE);
        putUInt16BE(bytes, 65537);
        QCOMPARE(bytes[0], 0x00);
        QCOMPARE(bytes[1], 0x01);
        putUInt16BE(bytes, 556);
        QCOMPARE(bytes[0], 0x02);
        QCOMPARE(bytes[1], 0x2C);

        QCOMPARE(putUInt32BE(bytes, floatBits(1.0f)), 4);
        QCOMPARE(bytes[0], 0x3F);
        QCOMPARE(bytes[1], 0x80);
        QCOMPARE(bytes[2], 0x00);
        QCOMPARE(bytes[3], 0x00);
        QCOMPARE(bytes[4], 0xEE);
        putUInt32BE(bytes, 0xA1B2C3D4);
        QCOMPARE(getUInt32BE(bytes), quint32(0xA1B2C3D4));
        putUInt32BE(bytes, floatBits(-3.722832e-07f));
        QCOMPARE(getFloatBE(bytes), -3.722832e-07f);
    }

    void copyBoundedStopsAtSizeMinusOneAndEndsWithNul()
    {
        unsigned char destination[64];
        std::fill(std::begin(destination), std::end(destination), 0xEE);
        const QByteArray seventy(70, 'x');
        copyBounded(destination, 60, seventy.constData());
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(destination), 59), seventy.left(59));
        QCOMPARE(destination[59], 0);
        QCOMPARE(destination[60], 0xEE);

        std::fill(std::begin(destination), std::end(destination), 0xEE);
        copyBounded(destination, 60, "");
        QCOMPARE(destination[0], 0);
        QCOMPARE(destination[1], 0xEE);

        copyBounded(destination, 60, "abc");
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(destination)), QByteArray("abc"));
        QCOMPARE(destination[4], 0xEE);

        std::fill(std::begin(destination), std::end(destination), 0xEE);
        copyBounded(destination, 1, "abc");
        QCOMPARE(destination[0], 0);
        QCOMPARE(destination[1], 0xEE);
    }

    void numberRequestsHaveTheirExactLengthAndZeroFill()
    {
        Frame frame = dirtyFrame();
        QCOMPARE(wire::buildParamRead(frame.data(), wire::ReadText, 556), 3);
        QVERIFY(bytesOf(frame, 3) == (std::vector<unsigned char>{0x14, 0x02, 0x2C}));
        QVERIFY(zeroFrom(frame, 3));

        frame = dirtyFrame();
        QCOMPARE(wire::buildFloatWrite(frame.data(), 4, 1.0f), 7);
        QVERIFY(bytesOf(frame, 7) ==
                (std::vector<unsigned char>{0x11, 0x00, 0x04, 0x3F, 0x80, 0x00, 0x00}));
        QVERIFY(zeroFrom(frame, 7));

        frame = dirtyFrame();
        QCOMPARE(wire::buildInt16Write(frame.data(), 0xABCD, -1), 5);
        QVERIFY(bytesOf(frame, 5) == (std::vector<unsigned char>{0x13, 0xAB, 0xCD, 0xFF, 0xFF}));
        QVERIFY(zeroFrom(frame, 5));
        wire::buildInt16Write(frame.data(), 7, 65537);
        QVERIFY(bytesOf(frame, 5) == (std::vector<unsigned char>{0x13, 0x00, 0x07, 0x00, 0x01}));
    }

    void textRequestCountsCharactersAndCutsAtTheFrame_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("lengthByte");
        QTest::addColumn<QByteArray>("sentText");

        QTest::newRow("empty") << QString() << 4 << 0 << QByteArray();
        QTest::newRow("abc") << "abc" << 7 << 3 << QByteArray("abc");
        const QString fiftyNine(59, 'k');
        QTest::newRow("59 characters") << fiftyNine << 63 << 59 << fiftyNine.toLatin1();
        QTest::newRow("60 characters") << QString(60, 'k') << 64 << 60 << fiftyNine.toLatin1();
        QTest::newRow("300 characters")
            << QString(300, 'k') << 64 << (300 & 0xFF) << fiftyNine.toLatin1();
        // Accented letters go out as one Latin-1 byte each.
        QTest::newRow("accented") << QString::fromUtf8("Zürich Øst") << 14 << 10
                                  << QByteArray("Z\xFCrich \xD8st");
        // What Latin-1 cannot hold becomes a single '?', also beyond 16 bits.
        QTest::newRow("outside Latin-1")
            << QString::fromUtf8("5 € ok 😀") << 12 << 8 << QByteArray("5 ? ok ?");
    }

    void textRequestCountsCharactersAndCutsAtTheFrame()
    {
        QFETCH(QString, text);
        QFETCH(int, length);
        QFETCH(int, lengthByte);
        QFETCH(QByteArray, sentText);

        Frame frame = dirtyFrame();
        QCOMPARE(wire::buildTextWrite(frame.data(), 556, text), length);
        QCOMPARE(frame[0], 0x15);
        QCOMPARE(frame[1], 0x02);
        QCOMPARE(frame[2], 0x2C);
        QCOMPARE(int(frame[3]), lengthByte);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(frame.data() + 4), sentText.size()),
                 sentText);
        QVERIFY(zeroFrom(frame, 4 + sentText.size()));
    }
};

QTEST_APPLESS_MAIN(WireTest)
#include "tst_wire.moc"
