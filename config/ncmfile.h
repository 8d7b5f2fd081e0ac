#ifndef NCMFILE_H
#define NCMFILE_H

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

#include <utility>

// Configuration files are flat INI text: one [General] section of key=value
// lines with the escapes of QSettings' INI format. Reading and writing them
// here keeps every byte of a file away from QSettings, which decodes values
// such as "@Variant(...)" into Qt objects.
namespace config
{

// A configuration file of the program stays a few kilobytes.
constexpr qint64 NcmSizeLimit = 1024 * 1024;

enum class NcmProblem {
    None,
    NotARegularFile, // a folder, a FIFO, a device
    TooLarge,
    CannotRead,
    NotNcm, // anything our Save does not write
};

struct NcmContents {
    NcmProblem problem = NcmProblem::None;
    int line = 0;                  // the first line refused, for NotNcm
    QMap<QString, QString> values; // by unescaped key, texts unescaped
};

// Reads a file of at most NcmSizeLimit bytes without ever waiting on a FIFO
// or a device.
NcmProblem readSmallRegularFile(const QString &path, QByteArray &bytes);

// Parses what ncmText writes. Each key, known or not, and each value is
// judged after unescaping; a value with a single leading '@' is refused.
NcmContents parseNcm(const QByteArray &bytes);
NcmContents readNcmFile(const QString &path);

// The file QSettings writes for these string values: [General], the keys in
// its sorted order, each text escaped and quoted as it does.
QByteArray ncmText(QVector<std::pair<QString, QString>> entries);

} // namespace config

#endif
