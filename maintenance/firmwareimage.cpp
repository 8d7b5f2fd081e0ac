#include "maintenance/firmwareimage.h"

#include "usb/wire.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace maintenance
{

namespace
{
// Answered by the module with its current number when sent alone; this
// marker after the code asks it to store a new one.
constexpr unsigned char SerialSetMarker = 0xA5;
} // namespace

quint16 imageChecksum(const unsigned char *bytes, qint64 size)
{
    quint32 sum = 0;
    for (qint64 i = 0; i < size; ++i)
        sum += bytes[i];
    return static_cast<quint16>(sum & 0xFFFF);
}

int buildStartFrame(unsigned char *frame, quint16 checksum, quint32 size)
{
    std::memset(frame, 0, wire::FrameSize);
    frame[0] = wire::FirmwareStart;
    putUInt16BE(frame + 1, checksum);
    putUInt32BE(frame + 3, size);
    return StartFrameLength;
}

qint8 quarterHoursFromUtc(int offsetSeconds)
{
    // Integer division truncates toward zero on both sides of UTC.
    return static_cast<qint8>(offsetSeconds / 900);
}

int buildClockFrame(unsigned char *frame, const QDateTime &localTime)
{
    std::memset(frame, 0, wire::FrameSize);
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    frame[0] = wire::SetClock;
    frame[1] = static_cast<unsigned char>((date.year() - 2000) & 0xFF);
    frame[2] = static_cast<unsigned char>(date.month());
    frame[3] = static_cast<unsigned char>(date.day());
    frame[4] = static_cast<unsigned char>(time.hour());
    frame[5] = static_cast<unsigned char>(time.minute());
    frame[6] = static_cast<unsigned char>(time.second());
    frame[7] = static_cast<unsigned char>(quarterHoursFromUtc(localTime.offsetFromUtc()));
    return ClockFrameLength;
}

int buildSerialSetFrame(unsigned char *frame, quint32 serialNumber)
{
    std::memset(frame, 0, wire::FrameSize);
    frame[0] = wire::SerialNumber;
    frame[1] = SerialSetMarker;
    putUInt32BE(frame + 2, serialNumber);
    return SerialSetFrameLength;
}

void sliceDataFrame(unsigned char *frame, const unsigned char *image, quint32 size, quint32 offset)
{
    std::memset(frame, 0, DataFrameSize);
    if (offset >= size)
        return;
    const quint32 taken = std::min<quint32>(size - offset, DataFrameSize);
    std::memcpy(frame, image + offset, taken);
}

QString uploadLabel(quint32 offset, quint32 size)
{
    return QString("Uploading %1 of %2").arg(offset).arg(size);
}

ImageLoad loadImage(const QString &path, unsigned char *image, quint32 &size, quint16 &checksum)
{
    // Only a regular file is read: opening a FIFO would wait for a writer
    // forever, and a device never ends. The file is opened without waiting
    // and checked again, in case it was swapped since.
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return ImageLoad::CannotOpen;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return ImageLoad::CannotOpen;
    QFile file;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return ImageLoad::CannotOpen;
    }

    // One pass into the buffer, then the sum over the bytes actually held, so
    // the sum always describes the bytes that go out.
    std::memset(image, 0, ImageCapacity);
    qint64 total = 0;
    while (total < ImageCapacity) {
        const qint64 n = file.read(reinterpret_cast<char *>(image) + total, ImageCapacity - total);
        if (n < 0)
            return ImageLoad::CannotRead;
        if (n == 0)
            break;
        total += n;
    }
    if (total == ImageCapacity) {
        char extra;
        const qint64 n = file.read(&extra, 1);
        if (n < 0)
            return ImageLoad::CannotRead;
        if (n > 0)
            return ImageLoad::TooLarge;
    }
    if (total == 0)
        return ImageLoad::Empty;

    size = static_cast<quint32>(total);
    checksum = imageChecksum(image, total);
    return ImageLoad::Loaded;
}

} // namespace maintenance
