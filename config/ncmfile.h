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

// What is wrong with the line that a NotNcm refusal names.
enum class NcmFault {
    None,
    ByteOrderMark,    // our Save writes none
    RawBytes,         // bytes past ASCII, such as raw UTF-8: our Save escapes them
    ControlCharacter, // a tab or another control byte: our Save escapes them too
    NoSection,        // the text does not start with [General]
    OtherSection,     // a second section
    NoKeyValue,       // a line without '='
    BadKey,           // a key our Save would have escaped, or an escape it never writes
    NeedsQuotes,      // a value QSettings would have quoted: ';', ',', '=' or blank ends
    BadQuotes,        // a quote inside the value, or an opening one never closed
    BadEscape,        // an escape our Save never writes
    TypedValue,       // a single leading '@', which QSettings reads as a typed value
    DuplicateKey,     // the key stands on an earlier line too
    CutShort,         // the text ends without the line end our Save writes last
};

struct NcmContents {
    NcmProblem problem = NcmProblem::None;
    int line = 0; // the first line refused, for NotNcm
    NcmFault fault = NcmFault::None;
    QString key;                   // for DuplicateKey, the key
    int earlierLine = 0;           // for DuplicateKey, where it stood first
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
