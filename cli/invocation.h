#ifndef INVOCATION_H
#define INVOCATION_H

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

namespace cli
{

// One command line taken apart: the words that name the command and its
// operands, the options, and whatever made it unusable.
struct Invocation {
    QStringList words;
    QSet<QString> flags;           // e.g. "--json"
    QMap<QString, QString> values; // e.g. "--output" -> "station.ncm"
    double waitSeconds = 0;
    QString error; // not empty: a usage error, already worded

    bool has(const QString &flag) const { return flags.contains(flag); }
    QString value(const QString &option) const { return values.value(option); }
};

// Splits the arguments (without the program name). "-o" is "--output", "-h"
// is "--help"; "--name=value" is the same as "--name value"; after "--"
// every argument is a word.
Invocation parseArguments(const QStringList &arguments);

} // namespace cli

#endif
