#include "core/regularfile.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile
{

namespace
{

Read failed(Problem problem, int systemError = 0, unsigned mode = 0)
{
    Read read;
    read.problem = problem;
    read.systemError = systemError;
    read.mode = mode;
    return read;
}

} // namespace

Read readWhole(const QString &path, qint64 limit, QByteArray &bytes)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) != 0)
        return failed(Problem::CannotRead, errno);
    if (!S_ISREG(info.st_mode))
        return failed(Problem::NotARegularFile, 0, info.st_mode);
    if (info.st_size > limit)
        return failed(Problem::TooLarge);

    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failed(Problem::CannotRead, errno);
    Read read;
    if (::fstat(fd, &info) != 0) {
        read = failed(Problem::CannotRead, errno);
    } else if (!S_ISREG(info.st_mode)) {
        read = failed(Problem::NotARegularFile, 0, info.st_mode);
    } else {
        // The size is only a first guess: the file may grow while it is read.
        // One byte past the limit tells a file that is too large.
        QByteArray buffer(int(qMin<qint64>(qMax<qint64>(info.st_size, 0), limit) + 1), '\0');
        qint64 total = 0;
        for (;;) {
            if (total == buffer.size()) {
                if (total > limit)
                    break;
                buffer.resize(int(qMin<qint64>(2 * qint64(buffer.size()), limit + 1)));
            }
            const ssize_t n = ::read(fd, buffer.data() + total, size_t(buffer.size() - total));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                read = failed(Problem::CannotRead, errno);
                break;
            }
            if (n == 0)
                break;
            total += n;
        }
        if (read.problem == Problem::None && total > limit)
            read = failed(Problem::TooLarge);
        if (read.problem == Problem::None) {
            buffer.truncate(int(total));
            bytes = buffer;
        }
    }
    ::close(fd);
    return read;
}

QString kindOf(unsigned mode)
{
    const char *kind = S_ISDIR(mode)                    ? "a folder"
                       : S_ISFIFO(mode)                 ? "a FIFO"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                       : S_ISSOCK(mode)                 ? "a socket"
                                                        : "not a regular file";
    return QCoreApplication::translate("RegularFile", kind);
}

} // namespace RegularFile
