#include "cli/commandline.h"

#include "cli/commands.h"
#include "cli/moduleconnection.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

namespace cli
{

namespace
{

QString tr(const char *text)
{
    return QCoreApplication::translate("talvik-cli", text);
}

struct Command {
    QStringList name;
    int operands;
    QStringList options; // besides --help and --wait
    const char *synopsis;
    const char *summary;
    const char *description;
    // The Talvik.ini switch that shows the window's button for it, if any.
    const char *iniSwitch;
    CommandFunction function;
};

const Command Commands[] = {
    {{"info"},
     0,
     {"--json"},
     "info [--json]",
     "serial number, software and EEPROM version",
     "Prints the module's serial number, software version and EEPROM version, one per line,\n"
     "or as one JSON object with --json.",
     nullptr,
     showInfo},
    {{"config", "read"},
     0,
     {"--output"},
     "config read [-o FILE.ncm]",
     "save the module's configuration",
     "Reads the whole configuration from the module and writes it as a .ncm file, the same\n"
     "file the window's Save writes after Read: to FILE.ncm, or to standard output.",
     nullptr,
     readConfig},
    {{"config", "write"},
     1,
     {"--dry-run"},
     "config write FILE.ncm [--dry-run]",
     "write a configuration file to the module",
     "Writes the configuration in FILE.ncm to the module after the same version check and\n"
     "field checks as the window. What the file does not hold (the mail server port and the\n"
     "passwords) is not sent; the module keeps its own. With --dry-run nothing is written:\n"
     "the module's current values are read and every field that would change is listed.",
     nullptr,
     writeConfig},
    {{"log", "download"},
     0,
     {"--new", "--output"},
     "log download [--new] -o FILE.csv",
     "download the log as two CSV files",
     "Downloads the module's log, all of it or with --new only the records it counts as new,\n"
     "into FILE.csv and its companion FILE-system.csv, as the window does. Only once both\n"
     "files are written does the module learn that the records were fetched. \"Nothing new to\n"
     "download.\" is a success.",
     nullptr,
     downloadLog},
    {{"log", "check"},
     1,
     {"--json"},
     "log check FILE.csv [--json]",
     "check a downloaded log for sensor and clock faults",
     "Reads FILE.csv and its companion FILE-system.csv as a download wrote them, prints for\n"
     "every column its first and last time, count, minimum, maximum and mean, then what needs\n"
     "a look: stuck sensors, impossible values, a falling battery, gaps, time running\n"
     "backwards, records without a date, error records and checksum marks; clock updates\n"
     "are listed too. With --json the same as one JSON object. The module is not opened.\n"
     "Exits 0 when nothing needs a look, 1 when something does, 4 when the file cannot be\n"
     "read or is not a Talvik log.",
     nullptr,
     checkLog},
    {{"log", "erase"},
     0,
     {"--yes"},
     "log erase --yes",
     "erase the module's log",
     "Erases every record of the module's log. Asks for --yes. Available only with\n"
     "LogErase=true in the Talvik.ini beside talvik-cli.",
     "LogErase",
     eraseLog},
    {{"firmware", "upload"},
     1,
     {},
     "firmware upload FILE.bin",
     "upload a firmware image",
     "Sends the firmware image FILE.bin to the module and waits for its verdict.",
     nullptr,
     uploadFirmware},
    {{"clock", "set"},
     0,
     {},
     "clock set",
     "set the module's clock to this computer's time",
     "Sets the module's clock to this computer's local time and its distance from UTC.",
     nullptr,
     setClock},
    {{"cell"},
     1,
     {},
     "cell enable|disable",
     "switch the cell modem on or off",
     "Switches the module's cell modem on (enable) or off (disable). The module takes the\n"
     "change when it is reset.",
     nullptr,
     switchCell},
    {{"serial", "set"},
     1,
     {},
     "serial set N",
     "set the module's serial number",
     "Sets the module's serial number to N (0 to 2147483647) and prints the number the module\n"
     "reports afterwards. Available only with Development=true in the Talvik.ini beside\n"
     "talvik-cli.",
     "Development",
     setSerial},
};

const char Synopsis[] = "Usage: talvik-cli [--wait SECONDS] COMMAND [OPTIONS]\n";

QString generalHelp()
{
    QString text = QString(Synopsis) +
                   tr("\nConfigures and services the weather station's Control Module over USB, "
                      "as the Talvik\nwindow does, without a display.\n\nCommands:\n");
    for (const Command &command : Commands)
        text += QString("  %1%2\n")
                    .arg(QString(command.synopsis).leftJustified(36))
                    .arg(tr(command.summary));
    text += tr("\nOptions:\n"
               "  --wait SECONDS   wait up to SECONDS for the module to appear\n"
               "  --help           show this text, or with a command its own\n"
               "  --version        show the version\n"
               "\nExit codes: 0 success, 1 the operation failed, 2 usage error,\n"
               "3 no module found or it could not be opened,\n"
               "4 'log check': the file cannot be read or is not a Talvik log.\n");
    return text;
}

QString commandHelp(const Command &command)
{
    return QString("Usage: talvik-cli [--wait SECONDS] %1\n\n%2\n")
        .arg(command.synopsis)
        .arg(tr(command.description));
}

bool switchedOn(const char *key)
{
    const QSettings switches(QCoreApplication::applicationDirPath() + "/Talvik.ini",
                             QSettings::IniFormat);
    return switches.value(key, false).toBool();
}

const Command *findCommand(const QStringList &words)
{
    for (const Command &command : Commands) {
        if (words.mid(0, command.name.size()) == command.name)
            return &command;
    }
    return nullptr;
}

// What the first word can go on with, for a message about a wrong second one.
QStringList followers(const QString &first)
{
    QStringList names;
    for (const Command &command : Commands) {
        if (command.name.first() == first && command.name.size() > 1)
            names.append(command.name.join(' '));
    }
    return names;
}

} // namespace

void tell(Console &console, const QString &message)
{
    QString text = message;
    text.replace("\r\n", "\n");
    console.err << text << '\n';
    console.err.flush();
}

int conclude(Console &console, const OperationResult &result)
{
    if (!result.message().isEmpty())
        tell(console, result.message());
    switch (result.reason()) {
    case OperationResult::Reason::None:
        return Success;
    case OperationResult::Reason::Refused:
        return UsageError;
    case OperationResult::Reason::Module:
    case OperationResult::Reason::File:
    case OperationResult::Reason::Cancelled:
    case OperationResult::Reason::NothingNew:
        break;
    }
    return Failed;
}

int usageError(Console &console, const QString &message)
{
    console.err << "talvik-cli: " << message << '\n' << tr("Try 'talvik-cli --help'.") << '\n';
    console.err.flush();
    return UsageError;
}

int run(const QStringList &arguments, Console &console)
{
    const Invocation invocation = parseArguments(arguments);
    if (invocation.words.isEmpty()) {
        if (!invocation.error.isEmpty())
            return usageError(console, invocation.error);
        if (invocation.has("--version")) {
            console.out << "talvik-cli " TALVIK_VERSION "\n";
            return Success;
        }
        if (invocation.has("--help") && invocation.flags.size() == 1) {
            console.out << generalHelp();
            return Success;
        }
        if (!invocation.flags.isEmpty())
            return usageError(console, tr("unknown option %1.").arg(*invocation.flags.begin()));
        console.err << generalHelp();
        return UsageError;
    }

    const Command *command = findCommand(invocation.words);
    if (command == nullptr) {
        const QStringList next = followers(invocation.words.first());
        if (!next.isEmpty())
            return usageError(
                console,
                tr("'%1' needs one of: %2.").arg(invocation.words.first(), next.join(", ")));
        return usageError(console, tr("unknown command '%1'.").arg(invocation.words.first()));
    }
    const QString name = command->name.join(' ');
    if (invocation.has("--help")) {
        console.out << commandHelp(*command);
        return Success;
    }
    if (!invocation.error.isEmpty())
        return usageError(console, invocation.error);
    for (const QString &flag : invocation.flags) {
        if (!command->options.contains(flag))
            return usageError(console, tr("'%1' has no option %2.").arg(name, flag));
    }
    for (auto value = invocation.values.begin(); value != invocation.values.end(); ++value) {
        if (value.key() != "--wait" && !command->options.contains(value.key()))
            return usageError(console, tr("'%1' has no option %2.").arg(name, value.key()));
    }
    const int operands = invocation.words.size() - command->name.size();
    if (operands != command->operands)
        return usageError(console, tr("usage: talvik-cli %1").arg(command->synopsis));
    if (command->iniSwitch != nullptr && !switchedOn(command->iniSwitch))
        return usageError(console,
                          tr("'%1' is available only with %2=true in %3.")
                              .arg(name, command->iniSwitch,
                                   QFileInfo(QCoreApplication::applicationDirPath() + "/Talvik.ini")
                                       .absoluteFilePath()));

    Invocation operandsOnly = invocation;
    operandsOnly.words = invocation.words.mid(command->name.size());
    ModuleConnection connection(invocation.waitSeconds, console);
    return command->function(operandsOnly, connection, console);
}

} // namespace cli
