#ifndef FILETARGETS_H
#define FILETARGETS_H

#include <QByteArray>
#include <QString>

// The files a command reads or writes, as the user named them. talvik-cli
// replaces nothing but a regular file: a stream (standard output, /dev/null,
// a FIFO) is written to as it is, and any other node is refused by name.
namespace cli
{

// What a path names, following symbolic links.
enum class NodeKind {
    Missing,
    RegularFile,
    Folder,
    Stream, // a character device, a FIFO or a socket
    Other,  // a block device
};

NodeKind nodeKind(const QString &path);

// "a folder", "a FIFO", "a device", ... for a message naming what is there.
QString nodeDescription(const QString &path);

// The folder a new file at path would go into, when that folder does not
// exist; empty when it does.
QString missingFolder(const QString &path);

// Whether path lies in /dev or /proc, where a name is a device or a
// process's stream, never a file to create or to replace.
bool isSystemNode(const QString &path);

// "PATH: reason", the system's reason why path cannot be opened for
// reading; empty when it can.
QString readFailure(const QString &path);

// Writes bytes as the whole content of path. A regular file, or a new one,
// is replaced only by a complete new file written beside it; a stream is
// written to where it is. Empty on success, "PATH: reason" otherwise.
QString writeWhole(const QString &path, const QByteArray &bytes);

} // namespace cli

#endif
