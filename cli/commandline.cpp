#include "cli/commandline.h"

#include "cli/commands.h"
#include "cli/filetargets.h"
#include "cli/moduleconnection.h"
#include "core/switchesfile.h"

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
    // Whether the operand names a file, whose folder must exist.
    bool operandIsFile;
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
     false,
     "info [--json]",
     "serial number, software and EEPROM version",
     "Prints the module's serial number, software version and EEPROM version, one per line,\n"
     "or as one JSON object with --json.",
     nullptr,
     showInfo},
    {{"config", "read"},
     0,
     {"--output"},
     false,
     "config read [-o FILE.ncm]",
     "save the module's configuration",
     "Reads the whole configuration from the module and writes it as a .ncm file, the same\n"
     "file the window's Save writes after Read: to FILE.ncm, or to standard output. FILE.ncm\n"
     "may also be a stream (/dev/stdout, /dev/null, a FIFO), which is written to, never\n"
     "replaced.",
     nullptr,
     readConfig},
    {{"config", "write"},
     1,
     {"--dry-run", "--partial"},
     true,
     "config write FILE.ncm [--dry-run] [--partial]",
     "write a configuration file to the module",
     "Writes the configuration in FILE.ncm to the module after the same version check and\n"
     "field checks as the window. What the file does not hold (the mail server port and the\n"
     "passwords) is not sent; the module keeps its own. With --dry-run nothing is written:\n"
     "the module's current values are read and every field that would change is listed.\n"
     "A file that lacks any of the 49 settings is refused; with --partial only the settings\n"
     "it holds are written (an analog channel's only with its type). A value the window's\n"
     "form could not hold is refused, and so is a key given twice; unknown keys are ignored\n"
     "with a warning.",
     nullptr,
     writeConfig},
    {{"log", "download"},
     0,
     {"--new", "--force", "--output", "--no-archive", "--archive"},
     false,
     "log download [--new [--force]] [--no-archive | --archive DB] -o FILE.csv|FOLDER",
     "download the log as two CSV files",
     "Downloads the module's log, all of it or with --new only the records it counts as new,\n"
     "into FILE.csv and its companion FILE-system.csv, as the window does (\".csv\" is added\n"
     "to a name without it). Only once both files are written does the module learn that the\n"
     "records were fetched. \"Nothing new to download.\" is a success.\n"
     "Into a FOLDER the files are named as the window suggests, \"Log yyyy-MM-dd hh-mm.csv\";\n"
     "with --new a name already taken gets \" (2)\", \" (3)\", ... so nothing is replaced. Given "
     "a\n"
     "file that exists, --new refuses before the module is asked, unless --force is given: the\n"
     "records it would replace are no longer new on the module. Nothing but a regular file is\n"
     "ever replaced.\n"
     "Before the module hears that its records were fetched, the download is also kept in\n"
     "the local archive (see 'archive'), unless --no-archive, the preference or\n"
     "TALVIK_ARCHIVE=off says otherwise; --archive DB names another archive file. For that\n"
     "the module is asked for its serial number and station ID first. A failure of the\n"
     "archive is said, and never fails the download.",
     nullptr,
     downloadLog},
    {{"log", "check"},
     1,
     {"--json"},
     true,
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
     false,
     "log erase --yes",
     "erase the module's log",
     "Erases every record of the module's log. Asks for --yes.",
     "LogErase",
     eraseLog},
    {{"firmware", "upload"},
     1,
     {},
     true,
     "firmware upload FILE.bin",
     "upload a firmware image",
     "Sends the firmware image FILE.bin to the module and waits for its verdict.",
     nullptr,
     uploadFirmware},
    {{"clock", "set"},
     0,
     {},
     false,
     "clock set",
     "set the module's clock to this computer's time",
     "Sets the module's clock to this computer's local time and its distance from UTC, and\n"
     "prints the time it set.",
     nullptr,
     setClock},
    {{"cell"},
     1,
     {},
     false,
     "cell enable|disable",
     "switch the cell modem on or off",
     "Switches the module's cell modem on (enable) or off (disable). The module takes the\n"
     "change when it is reset.",
     nullptr,
     switchCell},
    {{"serial", "set"},
     1,
     {},
     false,
     "serial set N",
     "set the module's serial number",
     "Sets the module's serial number to N (0 to 2147483647) and prints the number the module\n"
     "reports afterwards.",
     "Development",
     setSerial},
    {{"archive", "stations"},
     0,
     {"--json", "--archive", "--check", "--strict"},
     false,
     "archive stations [--json] [--check [--strict]]",
     "the stations in the archive, and which are late",
     "Lists every station of the archive: serial, ID texts, records kept, first and last\n"
     "record time (the module's clock), the last download (this computer's clock) and the\n"
     "state of its collection: on time, late (no records for more than twice its usual\n"
     "interval, the median time between its downloads), missing (more than five times) or\n"
     "unknown (fewer than two downloads). The module is not opened.\n"
     "With --check, prints one line per station that is not on time and exits as monitoring\n"
     "systems expect, unlike every other command: 0 all on time, 1 any late, 2 any missing,\n"
     "3 the archive cannot be read or the command line is wrong. Stations in state unknown\n"
     "count as on time, and with --strict as late.",
     nullptr,
     archiveStations},
    {{"archive", "downloads"},
     0,
     {"--station", "--json", "--archive"},
     false,
     "archive downloads --station SERIAL [--json]",
     "a station's downloads in the archive",
     "Lists the downloads of the station with this serial number, each with the id that\n"
     "'archive export' takes.",
     nullptr,
     archiveDownloads},
    {{"archive", "export"},
     0,
     {"--download", "--station", "--from", "--to", "--output", "--flags", "--archive"},
     false,
     "archive export --download ID | --station SERIAL [--from T] [--to T] [--flags] -o FILE.csv",
     "a download's files again, or a station's history",
     "With --download, writes that download again as FILE.csv and FILE-system.csv, byte for\n"
     "byte as the download wrote them. With --station, writes the station's history (from\n"
     "--from to --to, times on the module's clock, \"yyyy-MM-dd\" or \"yyyy-MM-dd hh:mm:ss\") as\n"
     "the two files a download writes: each record once, in the order of time and then\n"
     "Index, with the column groups of every download that brought them, and \"Retries 0\".\n"
     "With --flags, also FILE-flags.csv: Index, Date/Time (UTC) and, for every column the\n"
     "health check has rules for, each value's quality flag (1 good, 3 suspect, 4 bad,\n"
     "9 missing: range, stuck, spike and missing values); the two files stay as they are.",
     nullptr,
     archiveExport},
    {{"archive", "gaps"},
     0,
     {"--station", "--json", "--archive"},
     false,
     "archive gaps --station SERIAL [--json]",
     "where a station's history lacks records",
     "Lists where the station's history lacks measurements: steps longer than the health\n"
     "check's gap rule allows (a few times the station's usual interval), so a technician\n"
     "knows what a full download could fill.",
     nullptr,
     archiveGaps},
    {{"archive", "import"},
     1,
     {"--station", "--archive"},
     true,
     "archive import FILE.csv --station SERIAL",
     "keep a pair of CSV files in the archive",
     "Keeps FILE.csv and its FILE-system.csv companion, as Talvik wrote them (also before the\n"
     "archive, and lines from before the impossible-date mend), as a download of the station\n"
     "with this serial number. The files keep six significant digits, so each line is kept\n"
     "as it is; a downloaded record is the same record as an imported line when it prints\n"
     "to that line. 'archive export --download' gives the pair back byte for byte.",
     nullptr,
     archiveImport},
    {{"archive", "visits"},
     0,
     {"--station", "--json", "--archive"},
     false,
     "archive visits --station SERIAL [--json]",
     "what was done to a station, visit by visit",
     "Lists the station's service visits (a technician's time with the window) and\n"
     "collections (one talvik-cli run each), oldest first: id, start on this computer's\n"
     "clock, technician and computer, and what was done. With --json, every action with its\n"
     "time, outcome and facts.",
     nullptr,
     archiveVisits},
    {{"archive", "report"},
     0,
     {"--visit", "--output", "--archive"},
     false,
     "archive report --visit ID -o FILE.pdf|FILE.html",
     "a visit's report, to leave behind",
     "Writes the report of the visit with this id, as 'archive visits' lists it: the\n"
     "station, the technician, every action with its outcome, the configuration changes,\n"
     "the clock, the records collected, the findings and the notes. A PDF is laid out on\n"
     "A4 without a display.",
     nullptr,
     archiveReport},
    {{"archive", "remove"},
     0,
     {"--download", "--archive"},
     false,
     "archive remove --download ID",
     "take a download out of the archive",
     "Takes the download with this id out of the archive (a wrong import, a wrong station);\n"
     "the records only it brought go with it.",
     nullptr,
     archiveRemove},
    {{"archive", "backup"},
     0,
     {"--output", "--archive"},
     false,
     "archive backup -o FILE",
     "a consistent copy of the archive",
     "Writes a consistent copy of the whole archive to FILE, also while the window or a\n"
     "timer uses it. An existing FILE is not replaced.",
     nullptr,
     archiveBackup},
    {{"archive", "init"},
     0,
     {"--to"},
     false,
     "archive init --to URI",
     "make or upgrade a network's archive on PostgreSQL",
     "Run by the server's owner: makes the archive's tables on the PostgreSQL server of URI\n"
     "(postgresql://[USER@]HOST[:PORT]/DB[?sslmode=...]), or brings them up to this Talvik's\n"
     "version. A server made by a newer Talvik is refused. A password in URI is refused;\n"
     "libpq takes it from ~/.pgpass, a service file or PGPASSWORD.",
     nullptr,
     archiveInit},
    {{"archive", "sync"},
     0,
     {"--to", "--archive", "--with-names"},
     false,
     "archive sync --to URI [--with-names]",
     "send the archive to a network's server",
     "Sends what the PostgreSQL server of URI lacks from the local archive: downloads with\n"
     "their records, stations and configurations. Each download goes in one transaction, so\n"
     "a sync that is stopped leaves the server whole and the next one sends the rest; many\n"
     "computers may sync at once. Host and user names are sent only with --with-names.",
     nullptr,
     archiveSync},
};

const char Synopsis[] = "Usage: talvik-cli [--wait SECONDS] COMMAND [OPTIONS]\n";

// A command and its summary; a long synopsis puts the summary on a line of
// its own below it.
QString commandLine(const Command &command)
{
    constexpr int Column = 36;
    const QString synopsis(command.synopsis);
    if (synopsis.size() < Column)
        return QString("  %1%2\n").arg(synopsis.leftJustified(Column), tr(command.summary));
    return QString("  %1\n  %2%3\n").arg(synopsis, QString(Column, ' '), tr(command.summary));
}

QString generalHelp()
{
    QString text = QString(Synopsis) +
                   tr("\nConfigures and services the weather station's Control Module over USB, "
                      "as the Talvik\nwindow does, without a display.\n\nCommands:\n");
    for (const Command &command : Commands)
        text += commandLine(command);
    text += tr("\nOptions:\n"
               "  --wait SECONDS   wait up to SECONDS for the module to appear\n"
               "  -h, --help       show this text, or with a command its own\n"
               "  --version        show the version\n"
               "\nExit codes: 0 success, 1 the operation failed, 2 usage error,\n"
               "3 no module found or it could not be opened,\n"
               "4 'log check': the file cannot be read or is not a Talvik log.\n"
               "'archive stations --check' has its own: 0 all on time, 1 any late, 2 any\n"
               "missing, 3 the archive cannot be read or the command line is wrong.\n");
    return text;
}

// The options of the commands, as the parser takes them.
struct OptionHelp {
    const char *name;
    const char *spelling;
    const char *text;
};

const OptionHelp Options[] = {
    {"--output", "-o, --output FILE", "where to write"},
    {"--json", "--json", "print one JSON object"},
    {"--dry-run", "--dry-run", "write nothing; list what would change"},
    {"--partial", "--partial", "send only the settings the file holds"},
    {"--new", "--new", "only the records the module counts as new"},
    {"--force", "--force", "with --new, replace a file that exists"},
    {"--yes", "--yes", "go ahead"},
    {"--no-archive", "--no-archive", "keep this download out of the archive"},
    {"--archive", "--archive DB",
     "the archive file to use instead of the user's, or a postgresql:// server to read"},
    {"--station", "--station SERIAL", "the station's serial number"},
    {"--from", "--from TIME", "from this time on the module's clock"},
    {"--to", "--to TIME|URI",
     "up to this time on the module's clock; for init and sync, the server"},
    {"--with-names", "--with-names", "send host and user names too"},
    {"--download", "--download ID", "the download's id, as 'archive downloads' lists it"},
    {"--visit", "--visit ID", "the visit's id, as 'archive visits' lists it"},
    {"--check", "--check", "only the stations that are not on time, as an exit code"},
    {"--strict", "--strict", "with --check, a station in state unknown counts as late"},
    {"--flags", "--flags", "also write FILE-flags.csv, a quality flag for every value"},
};

QString optionLine(const char *spelling, const QString &text)
{
    return QString("  %1%2\n").arg(QString(spelling).leftJustified(20)).arg(text);
}

QString commandHelp(const Command &command)
{
    QString description = tr(command.description);
    // Named as the file this run reads, beside the program or the system's.
    if (command.iniSwitch != nullptr)
        description +=
            tr("\nAvailable only with %1=true in %2.")
                .arg(command.iniSwitch, QFileInfo(SwitchesFile::path()).absoluteFilePath());
    QString text = QString("Usage: talvik-cli [--wait SECONDS] %1\n\n%2\n\nOptions:\n")
                       .arg(command.synopsis)
                       .arg(description);
    for (const OptionHelp &option : Options)
        if (command.options.contains(option.name))
            text += optionLine(option.spelling, tr(option.text));
    text += optionLine("--wait SECONDS", tr("wait up to SECONDS for the module to appear"));
    text += optionLine("-h, --help", tr("show this text"));
    return text;
}

// "talvik-cli config --help": the commands of the group.
QString groupHelp(const QString &group)
{
    QString text =
        QString("Usage: talvik-cli [--wait SECONDS] %1 COMMAND [OPTIONS]\n\n").arg(group) +
        tr("Commands:\n");
    for (const Command &command : Commands)
        if (command.name.first() == group)
            text += commandLine(command);
    return text;
}

// The folder of a file named on the command line that does not exist, the
// same usage error for every command.
QString missingFolderOf(const Command &command, const Invocation &invocation)
{
    QStringList paths;
    if (command.operandIsFile)
        paths << invocation.words.mid(command.name.size());
    if (invocation.values.contains("--output"))
        paths << invocation.value("--output");
    for (const QString &path : paths) {
        const QString folder = missingFolder(path);
        if (!folder.isEmpty())
            return folder;
    }
    return QString();
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
    if (!result.detail().isEmpty())
        tell(console, result.detail());
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

namespace
{
// dispatched: whether the command ran; every earlier return is help or a
// usage error.
int runCommand(const QStringList &arguments, Console &console, bool &dispatched)
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
        if (!next.isEmpty() && invocation.words.size() == 1 && invocation.has("--help")) {
            console.out << groupHelp(invocation.words.first());
            return Success;
        }
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
    const QString missing = missingFolderOf(*command, invocation);
    if (!missing.isEmpty())
        return usageError(console, tr("the folder %1 does not exist.").arg(missing));
    if (command->iniSwitch != nullptr && !SwitchesFile::isOn(command->iniSwitch))
        return usageError(console, tr("'%1' is available only with %2=true in %3.")
                                       .arg(name, command->iniSwitch,
                                            QFileInfo(SwitchesFile::path()).absoluteFilePath()));

    Invocation operandsOnly = invocation;
    operandsOnly.words = invocation.words.mid(command->name.size());
    ModuleConnection connection(invocation.waitSeconds, console);
    dispatched = true;
    return command->function(operandsOnly, connection, console);
}
} // namespace

int run(const QStringList &arguments, Console &console)
{
    bool dispatched = false;
    const int code = runCommand(arguments, console, dispatched);
    // The stations check answers a wrong command line as monitoring expects.
    const int stations = int(arguments.indexOf("stations"));
    if (!dispatched && code == UsageError && stations > 0 && arguments[stations - 1] == "archive" &&
        arguments.contains("--check"))
        return CheckUnknown;
    return code;
}

} // namespace cli
