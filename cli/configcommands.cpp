#include "archive/configurationrecord.h"
#include "archive/visitrecord.h"
#include "cli/collection.h"
#include "cli/commands.h"
#include "cli/filetargets.h"
#include "cli/moduleconnection.h"
#include "cli/terminalprogress.h"
#include "config/configuration.h"
#include "config/configurationtransfer.h"

#include <QCoreApplication>
#include <QDir>
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
                               config::Configuration &configuration, quint32 *serial = nullptr)
{
    TerminalProgress progress(console.err, console.progressBars);
    progress.setLabel(tr("Reading settings"));
    config::Configuration read = config::Configuration::freshForm();
    config::ModuleIdentity identity;
    config::ReadListener nobody;
    const OperationResult result =
        config::readConfiguration(connection.session(), progress, read, identity, nobody);
    progress.finish();
    if (result.succeeded()) {
        configuration = read;
        if (serial != nullptr)
            *serial = identity.serialNumber;
    }
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
    // A name the settings cannot go to is refused before the module is read.
    const QString output = invocation.value("--output");
    const NodeKind target = output.isEmpty() ? NodeKind::Stream : nodeKind(output);
    if (target == NodeKind::Folder || target == NodeKind::Other)
        return usageError(console,
                          tr("%1 is %2; 'config read -o' writes a file or a stream.")
                              .arg(QDir::toNativeSeparators(output), nodeDescription(output)));

    const int opened = connection.open();
    if (opened != Success)
        return opened;
    config::Configuration configuration;
    quint32 serial = 0;
    const OperationResult read = readFromModule(connection, console, configuration, &serial);
    CollectionRecord collection(connection, console);
    collection.setSerial(serial);
    collection.record(archive::action::ConfigurationRead, read,
                      read.succeeded()
                          ? QJsonObject{{"values", archive::keptSettings(configuration)}}
                          : QJsonObject());
    if (read.failed())
        return conclude(console, read);
    keepConfiguration(connection, console, serial, false, configuration);

    // The very bytes the window's Save writes, by way of a file of its own.
    QTemporaryDir folder;
    const QString path = folder.filePath("settings.ncm");
    const OperationResult saved =
        folder.isValid() ? config::saveConfigurationFile(path, configuration)
                         : OperationResult::failure(OperationResult::Reason::File,
                                                    tr("No temporary folder for the settings."));
    if (saved.failed())
        return conclude(console, saved);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return conclude(console, OperationResult::failure(OperationResult::Reason::File,
                                                          tr("No temporary folder for the "
                                                             "settings.")));
    const QByteArray text = file.readAll();
    if (output.isEmpty()) {
        console.out.flush();
        console.out.device()->write(text);
        return conclude(console, read);
    }
    const QString failure = writeWhole(output, text);
    if (!failure.isEmpty())
        return conclude(
            console, OperationResult::failure(OperationResult::Reason::File,
                                              QCoreApplication::translate(
                                                  "Talvik", "Failed to save configuration file."),
                                              failure));
    return conclude(console, read);
}

int writeConfig(const Invocation &invocation, ModuleConnection &connection, Console &console)
{
    // Without --partial a file must hold every setting: the window's Load
    // would give the missing ones their defaults and the write would send them.
    const bool partial = invocation.has("--partial");
    config::FileForWrite file;
    const OperationResult loaded =
        config::loadConfigurationForWrite(invocation.words.first(), partial, file);
    if (!file.unknownKeys.isEmpty())
        tell(console, (file.unknownKeys.size() == 1
                           ? tr("Warning: the key %1 is no setting of the unit; it is ignored.")
                           : tr("Warning: the keys %1 are no settings of the unit; they are "
                                "ignored."))
                          .arg(file.unknownKeys.join(", ")));
    if (loaded.failed()) {
        const int code = conclude(console, loaded);
        if (!partial && !file.missingKeys.isEmpty())
            tell(console, tr("With --partial only the settings the file holds are written."));
        return code;
    }
    const config::Configuration &wanted = file.configuration;
    // The window's checks come before the module is touched.
    QString refusal = config::passwordMismatch(wanted);
    if (refusal.isEmpty())
        refusal =
            partial ? config::unsendableField(wanted, file.keys) : config::unsendableField(wanted);
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
            if (partial && !file.keys.contains(key))
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
        partial ? config::writeConfiguration(connection.session(), progress, wanted, file.keys)
                : config::writeConfiguration(connection.session(), progress, wanted);
    progress.finish();
    CollectionRecord(connection, console)
        .record(archive::action::ConfigurationWritten, written,
                {{"values", archive::keptSettings(wanted)}, {"partial", partial}});
    // A partial write leaves the rest as the module had it, which is not known.
    if (written.succeeded() && !partial)
        keepConfiguration(connection, console, 0, true, wanted);
    return conclude(console, written);
}

} // namespace cli
