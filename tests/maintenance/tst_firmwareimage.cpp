#include "maintenance/firmwareimage.h"
#include "maintenance/serviceframes.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <vector>

#include <sys/stat.h>

using namespace maintenance;

namespace
{
QByteArray frameBytes(const unsigned char *frame, int length)
{
    return QByteArray(reinterpret_cast<const char *>(frame), length);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(static_cast<char>(value));
    return result;
}

QDateTime at(int year, int month, int day, int hour, int minute, int second, int offsetSeconds)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::OffsetFromUTC,
                     offsetSeconds);
}
} // namespace

class FirmwareImageTest : public QObject
{
    Q_OBJECT

    QTemporaryDir scratch;

    QString writeFile(const QString &name, const QByteArray &contents)
    {
        const QString path = scratch.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void checksumCountsBytesUnsignedAndWrapsAt16Bits()
    {
        const unsigned char pair[] = {0xFF, 0x01};
        QCOMPARE(imageChecksum(pair, 2), quint16(0x0100));

        std::vector<unsigned char> ones(300, 0xFF);
        QCOMPARE(imageChecksum(ones.data(), 300), quint16((300 * 255) % 65536));
        QCOMPARE(imageChecksum(pair, 0), quint16(0));
    }

    void imageIsSlicedIntoFramesWithZerosPastTheEnd()
    {
        std::vector<unsigned char> image(ImageCapacity, 0xAB);
        for (int i = 0; i < 100; ++i)
            image[i] = static_cast<unsigned char>(i + 1);

        unsigned char frame[64];
        sliceDataFrame(frame, image.data(), 100, 64);
        QCOMPARE(frame[0], 65);
        QCOMPARE(frame[35], 100);
        // The buffer beyond the image holds 0xAB here; none of it goes out.
        QCOMPARE(frameBytes(frame + 36, 28), QByteArray(28, '\0'));
    }

    void clockFrameCarriesLocalTimeAndQuarterHoursFromUtc_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("2024 at UTC+01:00")
            << at(2024, 2, 29, 23, 59, 58, 3600) << bytes({0x08, 24, 2, 29, 23, 59, 58, 4});
        QTest::newRow("east, UTC+05:30")
            << at(2024, 7, 1, 6, 5, 4, 5 * 3600 + 1800) << bytes({0x08, 24, 7, 1, 6, 5, 4, 22});
        QTest::newRow("west, UTC-08:00")
            << at(2024, 12, 31, 0, 0, 0, -8 * 3600) << bytes({0x08, 24, 12, 31, 0, 0, 0, 0xE0});
        QTest::newRow("UTC+05:45 truncates to 23")
            << at(2030, 1, 2, 3, 4, 5, 5 * 3600 + 45 * 60) << bytes({0x08, 30, 1, 2, 3, 4, 5, 23});
        QTest::newRow("UTC-00:25 truncates toward zero, not down")
            << at(2024, 1, 1, 12, 0, 0, -25 * 60) << bytes({0x08, 24, 1, 1, 12, 0, 0, 0xFF});
        QTest::newRow("UTC-00:10 is zero quarters")
            << at(2024, 1, 1, 12, 0, 0, -10 * 60) << bytes({0x08, 24, 1, 1, 12, 0, 0, 0});
        QTest::newRow("year 2300 keeps the low 8 bits")
            << at(2300, 5, 6, 7, 8, 9, 0) << bytes({0x08, 44, 5, 6, 7, 8, 9, 0});
    }

    void clockFrameCarriesLocalTimeAndQuarterHoursFromUtc()
    {
        QFETCH(QDateTime, time);
        QFETCH(QByteArray, expected);
        unsigned char frame[64];
        std::fill(std::begin(frame), std::end(frame), 0xEE);
        QCOMPARE(buildClockFrame(frame, time), 8);
        QCOMPARE(frameBytes(frame, 8), expected);
        QCOMPARE(frameBytes(frame + 8, 56), QByteArray(56, '\0'));
    }

    void imageFileIsLoadedWholeUpToTheCapacity()
    {
        std::vector<unsigned char> image(ImageCapacity, 0x5A);
        QByteArray contents(ImageCapacity, '\0');
        for (int i = 0; i < contents.size(); ++i)
            contents[i] = static_cast<char>((i * 13 + 7) & 0xFF);
        quint32 size = 0;
        quint16 checksum = 0;
        QCOMPARE(loadImage(writeFile("full.bin", contents), image.data(), size, checksum),
                 ImageLoad::Loaded);
        QCOMPARE(size, quint32(ImageCapacity));
        QCOMPARE(frameBytes(image.data(), ImageCapacity), contents);
        QCOMPARE(checksum,
                 imageChecksum(reinterpret_cast<const unsigned char *>(contents.constData()),
                               contents.size()));

        // A shorter image leaves no trace of the earlier one past its end.
        QCOMPARE(loadImage(writeFile("short.bin", bytes({0xFF, 0x01, 0x80})), image.data(), size,
                           checksum),
                 ImageLoad::Loaded);
        QCOMPARE(size, 3u);
        QCOMPARE(checksum, quint16(0x0180));
        QCOMPARE(frameBytes(image.data(), 3), bytes({0xFF, 0x01, 0x80}));
        QCOMPARE(frameBytes(image.data() + 3, 64), QByteArray(64, '\0'));
    }

    void unusableImageFilesAreRefusedAndChangeNothing()
    {
        std::vector<unsigned char> image(ImageCapacity);
        quint32 size = 77;
        quint16 checksum = 88;
        QCOMPARE(loadImage(writeFile("big.bin", QByteArray(ImageCapacity + 1, '\1')), image.data(),
                           size, checksum),
                 ImageLoad::TooLarge);
        QCOMPARE(loadImage(writeFile("empty.bin", QByteArray()), image.data(), size, checksum),
                 ImageLoad::Empty);
        QCOMPARE(loadImage(scratch.filePath("missing.bin"), image.data(), size, checksum),
                 ImageLoad::CannotOpen);
        // Neither a folder nor a FIFO is a file; opening the FIFO would wait
        // for a writer forever.
        QCOMPARE(loadImage(scratch.path(), image.data(), size, checksum), ImageLoad::CannotOpen);
        const QString fifo = scratch.filePath("image.fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(loadImage(fifo, image.data(), size, checksum), ImageLoad::CannotOpen);
        QCOMPARE(size, 77u);
        QCOMPARE(checksum, quint16(88));
    }
};

QTEST_APPLESS_MAIN(FirmwareImageTest)
#include "tst_firmwareimage.moc"
