#include "cli/invocation.h"

#include <QCoreApplication>

namespace cli
{

namespace
{
// The options that take a value; every other option is a flag.
const QStringList ValueOptions = {"--output",   "--wait", "--archive", "--station",
                                  "--download", "--from", "--to",      "--visit"};

QString longName(const QString &option)
{
    if (option == "-o")
        return QStringLiteral("--output");
    if (option == "-h")
        return QStringLiteral("--help");
    return option;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("talvik-cli", text);
}
} // namespace

Invocation parseArguments(const QStringList &arguments)
{
    Invocation invocation;
    bool wordsOnly = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (wordsOnly || !argument.startsWith('-') || argument == "-") {
            invocation.words.append(argument);
            continue;
        }
        if (argument == "--") {
            wordsOnly = true;
            continue;
        }
        QString name = longName(argument.section('=', 0, 0));
        const bool inlineValue = argument.contains('=') && argument.startsWith("--");
        if (!ValueOptions.contains(name)) {
            if (inlineValue && invocation.error.isEmpty())
                invocation.error = tr("%1 takes no value.").arg(name);
            invocation.flags.insert(name);
            continue;
        }
        QString value;
        if (inlineValue) {
            value = argument.section('=', 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            if (invocation.error.isEmpty())
                invocation.error = tr("%1 needs a value.").arg(name);
            continue;
        }
        invocation.values.insert(name, value);
    }

    if (invocation.values.contains("--wait")) {
        bool number = false;
        invocation.waitSeconds = invocation.value("--wait").toDouble(&number);
        if ((!number || invocation.waitSeconds < 0 || invocation.waitSeconds > 86400) &&
            invocation.error.isEmpty())
            invocation.error = tr("--wait needs a number of seconds from 0 to 86400.");
    }
    return invocation;
}

} // namespace cli
