#include "maintenance/firmwareimage.h"

#include "usb/wire.h"

#include <QFile>

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace maintenance
{

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

    // One byte more than an image may hold tells a file that is too large.
    QByteArray contents(ImageCapacity + 1, '\0');
    qint64 total = 0;
    while (total < contents.size()) {
        const qint64 n = file.read(contents.data() + total, contents.size() - total);
        if (n < 0)
            return ImageLoad::CannotRead;
        if (n == 0)
            break;
        total += n;
    }
    return takeImage(contents.constData(), total, image, size, checksum);
}

ImageLoad takeImage(const char *bytes, qint64 length, unsigned char *image, quint32 &size,
                    quint16 &checksum)
{
    if (length == 0)
        return ImageLoad::Empty;
    if (length > ImageCapacity)
        return ImageLoad::TooLarge;
    // The sum is taken over the bytes the buffer holds, so it always
    // describes the bytes that go out.
    std::memcpy(image, bytes, size_t(length));
    std::memset(image + length, 0, size_t(ImageCapacity - length));
    size = static_cast<quint32>(length);
    checksum = imageChecksum(image, length);
    return ImageLoad::Loaded;
}

} // namespace maintenance
