// Fuzz target: taking a firmware image in and the frames that carry it.
// Input: byte 0 bit 6 stretches the clock frame's time; bytes 1..12 feed the
// frame builders; the rest is the image, taken from memory. The file around
// it adds only the open and the read, and the image's size limit is one
// comparison: the tests of the image check both, at and past the limit, so
// the fuzzer spends no time copying 256 KiB inputs.
//
// A loaded image is exactly the given bytes, zeros after them, with the sum
// the module checks; an empty image is refused and leaves size and checksum
// alone; every data frame is the image's slice, zero padded past its end.

#include "fuzzcheck.h"

#include "maintenance/firmwareimage.h"
#include "maintenance/serviceframes.h"
#include "usb/wire.h"

#include <QDateTime>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace
{

using namespace maintenance;

quint32 wordAt(const uint8_t *data, size_t size, size_t at)
{
    quint32 value = 0;
    for (size_t i = at; i < at + 4; ++i)
        value = (value << 8) | (i < size ? data[i] : 0);
    return value;
}

void checkDataFrames(const unsigned char *image, quint32 imageSize, quint32 anyOffset)
{
    std::unique_ptr<unsigned char[]> frame(new unsigned char[DataFrameSize]);
    for (const quint32 offset :
         {quint32(0), imageSize - 1, imageSize, anyOffset % (imageSize + 1), imageSize & ~63u}) {
        sliceDataFrame(frame.get(), image, imageSize, offset);
        for (quint32 i = 0; i < quint32(DataFrameSize); ++i) {
            const quint64 at = quint64(offset) + i;
            FUZZ_CHECK(frame[i] == (at < imageSize ? image[at] : 0));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const uint8_t mode = size > 0 ? data[0] : 0;
    const size_t header = std::min<size_t>(size, 13);
    const QByteArray contents =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data) + header, int(size - header));

    // One heap block of exactly the capacity, so a write past it is caught.
    static const std::unique_ptr<unsigned char[]> image(new unsigned char[ImageCapacity]);
    std::memset(image.get(), 0xA5, ImageCapacity);
    quint32 imageSize = 12345;
    quint16 sum = 4321;
    const ImageLoad load =
        takeImage(contents.constData(), contents.size(), image.get(), imageSize, sum);
    if (contents.isEmpty())
        FUZZ_CHECK(load == ImageLoad::Empty);
    else if (contents.size() > ImageCapacity)
        FUZZ_CHECK(load == ImageLoad::TooLarge);
    else
        FUZZ_CHECK(load == ImageLoad::Loaded);

    if (load != ImageLoad::Loaded) {
        FUZZ_CHECK(imageSize == 12345 && sum == 4321);
    } else {
        FUZZ_CHECK(imageSize == quint32(contents.size()));
        FUZZ_CHECK(std::memcmp(image.get(), contents.constData(), imageSize) == 0);
        static const std::unique_ptr<unsigned char[]> zeros(new unsigned char[ImageCapacity]());
        FUZZ_CHECK(std::memcmp(image.get() + imageSize, zeros.get(), ImageCapacity - imageSize) ==
                   0);
        quint32 expected = 0;
        for (const char c : contents)
            expected += static_cast<unsigned char>(c);
        FUZZ_CHECK(sum == quint16(expected));
        checkDataFrames(image.get(), imageSize, wordAt(data, size, 1));
        FUZZ_CHECK(!uploadLabel(wordAt(data, size, 5) % (imageSize + 1), imageSize).isEmpty());
    }

    // The start, serial number and clock frames from any numbers.
    std::unique_ptr<unsigned char[]> frame(new unsigned char[wire::FrameSize]);
    const quint32 number = wordAt(data, size, 3);
    FUZZ_CHECK(buildStartFrame(frame.get(), quint16(wordAt(data, size, 1)), number) ==
               StartFrameLength);
    FUZZ_CHECK(getUInt32BE(frame.get() + 3) == number);
    FUZZ_CHECK(buildSerialSetFrame(frame.get(), number) == SerialSetFrameLength);
    const qint64 msecs = qint64(wordAt(data, size, 1)) * 1000 * ((mode & 0x40) ? 7 : 1);
    const int offset = int(qint32(wordAt(data, size, 9)) % (18 * 3600 + 1));
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(msecs, Qt::OffsetFromUTC, offset);
    FUZZ_CHECK(buildClockFrame(frame.get(), when) == ClockFrameLength);
    FUZZ_CHECK(qint8(frame[7]) == quarterHoursFromUtc(when.offsetFromUtc()));
    for (int i = ClockFrameLength; i < wire::FrameSize; ++i)
        FUZZ_CHECK(frame[i] == 0);
    return 0;
}
