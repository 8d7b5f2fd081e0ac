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

// The configuration a freshly started window holds after Read.
OperationResult readFromModule(ModuleConnection &connection, Console &console,
                               config::Configuration &configuration)
{
    TerminalProgress progress(console.err, console.progressBars);
    progress.setLabel(tr("Reading settings"));
    config::Configuration read = config::Configuration::freshForm();
    config::ModuleIdentity identity;
    config::ReadListener nobody;
    const OperationResult result =
        config::readConfiguration(connection.session(), progress, read, identity, nobody);
    progress.finish();
    if (result.succeeded())
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
    const OperationResult read = readFromModule(connection, console, configuration);
    if (read.failed())
        return conclude(console, read);

    const QString output = invocation.value("--output");
    if (!output.isEmpty()) {
        const OperationResult saved = config::saveConfigurationFile(output, configuration);
        if (saved.failed())
            return conclude(console, saved);
        return conclude(console, read);
    }
    // Standard output gets the very bytes a saved file would hold.
    QTemporaryDir folder;
    const QString path = folder.filePath("settings.ncm");
    QFile file(path);
    if (!folder.isValid())
        return conclude(console, OperationResult::failure(OperationResult::Reason::File,
                                                          tr("No temporary folder for the "
                                                             "settings.")));
    const OperationResult saved = config::saveConfigurationFile(path, configuration);
    if (saved.failed())
        return conclude(console, saved);
    if (!file.open(QIODevice::ReadOnly))
        return conclude(console, OperationResult::failure(OperationResult::Reason::File,
                                                          tr("No temporary folder for the "
                                                             "settings.")));
    console.out.flush();
    console.out.device()->write(file.readAll());
    return conclude(console, read);
}

int writeConfig(const Invocation &invocation, ModuleConnection &connection, Console &console)
{
    config::Configuration wanted = config::Configuration::freshForm();
    const OperationResult loaded = config::loadConfigurationFile(invocation.words.first(), wanted);
    if (loaded.failed())
        return conclude(console, loaded);
    // The window's checks come before the module is touched.
    QString refusal = config::passwordMismatch(wanted);
    if (refusal.isEmpty())
        refusal = config::unsendableField(wanted);
    if (!refusal.isEmpty()) {
        tell(console, refusal);
        return Failed;
    }

    const int opened = connection.open();
    if (opened != Success)
        return opened;

    if (invocation.has("--dry-run")) {
        config::Configuration current;
        const OperationResult read = readFromModule(connection, console, current);
        if (read.failed())
            return conclude(console, read);
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
    const OperationResult written =
        config::writeConfiguration(connection.session(), progress, wanted);
    progress.finish();
    return conclude(console, written);
}

} // namespace cli
