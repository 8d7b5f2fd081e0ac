#include "cli/commands.h"
#include "cli/moduleconnection.h"
#include "cli/terminalprogress.h"
#include "config/configuration.h"
#include "config/configurationtransfer.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

namespace cli
{

namespace
{
QString tr(const char *text)
{
    return QCoreApplication::translate("talvik-cli", text);
}

int failed(Console &console, const QString &message)
{
    tell(console, message);
    return Failed;
}

// The configuration a freshly started window holds after Read, or the
// window's message on failure.
int readFromModule(ModuleConnection &connection, Console &console,
                   config::Configuration &configuration, QString &message)
{
    TerminalProgress progress(console.err, console.progressBars);
    progress.setLabel(tr("Reading settings"));
    config::Configuration read = config::Configuration::freshForm();
    config::ModuleIdentity identity;
    config::ReadListener nobody;
    const int result =
        config::readConfiguration(connection.session(), progress, read, identity, nobody, message);
    progress.finish();
    if (result == 0)
        configuration = read;
    return result;
}

// Whether the module would hold something else after the write: a number
// counts as changed only when the value sent differs, not its spelling.
bool differs(const config::Parameter &parameter, const QString &current, const QString &wanted)
{
    if (parameter.kind == config::Kind::Float)
        return config::floatFromText(current) != config::floatFromText(wanted) ||
               config::floatTextIsSendable(current) != config::floatTextIsSendable(wanted);
    return current != wanted;
}

// What the write would not send: a blank mail server port leaves the
// module's own in place.
bool sent(const config::Parameter &parameter, const QString &value)
{
    return !(parameter.kind == config::Kind::Port && value.isEmpty());
}

QString quoted(const QString &value)
{
    return '"' + value + '"';
}
} // namespace

int readConfig(const Invocation &invocation, ModuleConnection &connection, Console &console)
{
    const int opened = connection.open();
    if (opened != Success)
        return opened;
    config::Configuration configuration;
    QString message;
    if (readFromModule(connection, console, configuration, message) != 0)
        return failed(console, message);
    const QString readMessage = message;

    const QString output = invocation.value("--output");
    if (!output.isEmpty()) {
        if (config::saveConfigurationFile(output, configuration, message) != 0)
            return failed(console, message);
        tell(console, readMessage);
        return Success;
    }
    // Standard output gets the very bytes a saved file would hold.
    QTemporaryDir folder;
    const QString path = folder.filePath("settings.ncm");
    QFile file(path);
    if (!folder.isValid() || config::saveConfigurationFile(path, configuration, message) != 0 ||
        !file.open(QIODevice::ReadOnly))
        return failed(console,
                      message.isEmpty() ? tr("No temporary folder for the settings.") : message);
    console.out.flush();
    console.out.device()->write(file.readAll());
    tell(console, readMessage);
    return Success;
}

int writeConfig(const Invocation &invocation, ModuleConnection &connection, Console &console)
{
    config::Configuration wanted = config::Configuration::freshForm();
    QString message;
    if (config::loadConfigurationFile(invocation.words.first(), wanted, message) != 0)
        return failed(console, message);
    // The window's checks come before the module is touched.
    message = config::passwordMismatch(wanted);
    if (message.isEmpty())
        message = config::unsendableField(wanted);
    if (!message.isEmpty())
        return failed(console, message);

    const int opened = connection.open();
    if (opened != Success)
        return opened;

    if (invocation.has("--dry-run")) {
        config::Configuration current;
        if (readFromModule(connection, console, current, message) != 0)
            return failed(console, message);
        int changes = 0;
        for (const config::Parameter &parameter : config::ParameterMap) {
            const QString key = config::Configuration::keyOf(parameter);
            // Files hold no passwords, and the module never tells its own.
            if (parameter.kind == config::Kind::Password || !sent(parameter, wanted.value(key)))
                continue;
            if (!differs(parameter, current.value(key), wanted.value(key)))
                continue;
            console.out << key << ": " << quoted(current.value(key)) << " -> "
                        << quoted(wanted.value(key)) << '\n';
            ++changes;
        }
        console.out.flush();
        tell(console, (changes == 1 ? tr("1 field would change.")
                                    : tr("%1 fields would change.").arg(changes)) +
                          ' ' + tr("Nothing was written to the unit."));
        return Success;
    }

    TerminalProgress progress(console.err, console.progressBars);
    progress.setLabel(tr("Writing settings"));
    const int result = config::writeConfiguration(connection.session(), progress, wanted, message);
    progress.finish();
    tell(console, message);
    return result == 0 ? Success : Failed;
}

} // namespace cli
