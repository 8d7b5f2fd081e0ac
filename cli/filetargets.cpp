#include "cli/filetargets.h"

#include "core/regularfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cli
{

namespace
{
// A FIFO nobody reads yet gets this long to find its reader.
constexpr int ReaderWaitMs = 10000;
constexpr int ReaderPollMs = 50;

QString tr(const char *text)
{
    return QCoreApplication::translate("talvik-cli", text);
}

QString named(const QString &path, const QString &reason)
{
    return QDir::toNativeSeparators(path) + QStringLiteral(": ") + reason;
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Opens a stream for writing without waiting on a FIFO that has no reader
// for longer than ReaderWaitMs; -1 with errno set otherwise.
int openStream(const QByteArray &name)
{
    int waited = 0;
    for (;;) {
        const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0) {
            // Written in whole from here on: a full pipe waits for its reader.
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            return fd;
        }
        if (errno != ENXIO || waited >= ReaderWaitMs)
            return -1;
        QThread::msleep(ReaderPollMs);
        waited += ReaderPollMs;
    }
}

QString writeStream(const QString &path, const QByteArray &bytes)
{
    const int fd = openStream(QFile::encodeName(path));
    if (fd < 0)
        return named(path, errno == ENXIO ? tr("nobody reads from it") : systemReason(errno));
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            return named(path, systemReason(error));
        }
        done += n;
    }
    if (::close(fd) != 0 && errno != EINTR)
        return named(path, systemReason(errno));
    return QString();
}
} // namespace

NodeKind nodeKind(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return NodeKind::Missing;
    if (S_ISREG(info.st_mode))
        return NodeKind::RegularFile;
    if (S_ISDIR(info.st_mode))
        return NodeKind::Folder;
    if (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))
        return NodeKind::Stream;
    return NodeKind::Other;
}

QString nodeDescription(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return tr("nothing");
    if (S_ISREG(info.st_mode))
        return tr("a file");
    return RegularFile::kindOf(info.st_mode);
}

QString missingFolder(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    return QFileInfo(folder).isDir() ? QString() : QDir::toNativeSeparators(folder);
}

bool isSystemNode(const QString &path)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    return absolute == "/dev" || absolute == "/proc" || absolute.startsWith("/dev/") ||
           absolute.startsWith("/proc/");
}

QString readFailure(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) != 0)
        return named(path, systemReason(errno));
    if (!S_ISREG(info.st_mode))
        return named(path, tr("%1, not a regular file").arg(nodeDescription(path)));
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return named(path, systemReason(errno));
    ::close(fd);
    return QString();
}

QString writeWhole(const QString &path, const QByteArray &bytes)
{
    const NodeKind kind = nodeKind(path);
    if (kind == NodeKind::Stream || (isSystemNode(path) && kind != NodeKind::Missing))
        return writeStream(path, bytes);
    if (kind != NodeKind::RegularFile && kind != NodeKind::Missing)
        return named(path, tr("%1, not a regular file").arg(nodeDescription(path)));
    if (isSystemNode(path))
        return named(path, systemReason(ENOENT));

    // Through a link, the file it points to is replaced, never the link.
    const QString target =
        kind == NodeKind::RegularFile ? QFileInfo(path).canonicalFilePath() : path;
    QSaveFile file(target);
    // Unbuffered, so a full disk is reported by the write itself.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(bytes) != bytes.size() || !file.commit())
        return named(path, file.errorString());
    return QString();
}

} // namespace cli
