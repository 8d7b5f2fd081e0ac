#ifndef REGULARFILE_H
#define REGULARFILE_H

#include <QByteArray>
#include <QString>

// Files the program only reads whole: configuration files and logs. Opening
// a FIFO waits for a writer and a device never ends, so anything but a
// regular file is refused before it is opened, and again after, in case it
// was swapped since; nothing here ever waits.
namespace RegularFile
{

enum class Problem {
    None,
    NotARegularFile, // a folder, a FIFO, a device
    TooLarge,
    CannotRead,
};

struct Read {
    Problem problem = Problem::None;
    int systemError = 0; // errno, for CannotRead
    unsigned mode = 0;   // st_mode of what was found, for NotARegularFile
};

// Reads the whole file into bytes when it is a regular file of at most limit
// bytes; bytes changes only on success.
Read readWhole(const QString &path, qint64 limit, QByteArray &bytes);

// "a folder", "a FIFO", "a device", ... for a mode readWhole refused.
QString kindOf(unsigned mode);

} // namespace RegularFile

#endif
