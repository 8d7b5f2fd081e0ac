// The commands that are one exchange or one stream: identity, firmware,
// clock, cell switch, serial number and log erase.
#include "archive/visitrecord.h"
#include "cli/collection.h"
#include "cli/commands.h"
#include "cli/filetargets.h"
#include "cli/moduleconnection.h"
#include "cli/terminalprogress.h"
#include "maintenance/firmwareuploader.h"
#include "maintenance/moduleservice.h"
#include "usb/modulesession.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace cli
{

namespace
{
QString tr(const char *text)
{
    return QCoreApplication::translate("talvik-cli", text);
}

QString windowText(const char *text)
{
    return QCoreApplication::translate("Talvik", text);
}

// A failed query, as the window words it.
int queryFailed(Console &console, const char *text)
{
    return conclude(console,
                    OperationResult::failure(OperationResult::Reason::Module, windowText(text)));
}
} // namespace

int showInfo(const Invocation &invocation, ModuleConnection &connection, Console &console)
{
    const int opened = connection.open();
    if (opened != Success)
        return opened;
    ModuleSession &session = connection.session();
    quint32 serialNumber = 0;
    int softwareVersion = 0;
    int eepromVersion = 0;
    if (session.querySerialNumber(serialNumber) != 0)
        return queryFailed(console, "Failed to get serial number.");
    if (session.querySoftwareVersion(softwareVersion) != 0)
        return queryFailed(console, "Failed to get software version.");
    if (session.queryEepromVersion(eepromVersion) != 0)
        return queryFailed(console, "Failed to get eeprom version.");

    if (invocation.has("--json")) {
        const QJsonObject identity{
            {"serialNumber", qint64(serialNumber)},
            {"softwareVersion", softwareVersion},
            {"eepromVersion", eepromVersion},
            {"eepromSupported", ModuleSession::eepromSupported(eepromVersion)}};
        console.out << QJsonDocument(identity).toJson(QJsonDocument::Compact) << '\n';
    } else {
        console.out << windowText("Serial Number: ") << serialNumber << '\n'
                    << windowText("Software Version: ") << softwareVersion << '\n'
                    << tr("EEPROM Version: ") << eepromVersion << '\n';
    }
    console.out.flush();
    return Success;
}

int uploadFirmware(const Invocation &invocation, ModuleConnection &connection, Console &console)
{
    FirmwareImage image;
    // A file that cannot be sent is refused before the module hears of it.
    const OperationResult loaded = loadFirmwareImage(invocation.words.first(), image);
    if (loaded.failed()) {
        const int code = conclude(console, loaded);
        const QString why = readFailure(invocation.words.first());
        if (!why.isEmpty())
            tell(console, why);
        return code;
    }
    const int opened = connection.open();
    if (opened != Success)
        return opened;
    // The module restarts with the new image, so it is asked who it is first.
    CollectionRecord collection(connection, console);
    collection.identify();
    TerminalProgress progress(console.err, console.progressBars);
    progress.setLabel(tr("Uploading firmware"));
    const OperationResult uploaded = uploadFirmwareImage(connection.session(), image, progress);
    progress.finish();
    collection.record(archive::action::FirmwareUpload, uploaded,
                      {{"file", invocation.words.first()},
                       {"size", qint64(image.size)},
                       {"checksum", int(image.checksum)}});
    if (uploaded.reason() == OperationResult::Reason::Cancelled) {
        tell(console, tr("Firmware upload cancelled; the module did not take the image."));
        return Failed;
    }
    return conclude(console, uploaded);
}

int setClock(const Invocation &, ModuleConnection &connection, Console &console)
{
    const int opened = connection.open();
    if (opened != Success)
        return opened;
    const QDateTime now = QDateTime::currentDateTime();
    const OperationResult set = setModuleClock(connection.session(), now);
    CollectionRecord(connection, console)
        .record(archive::action::ClockSet, set, {{"pcTime", now.toString("yyyy-MM-dd hh:mm:ss")}});
    if (set.succeeded()) {
        // What the module got: the local time and its distance from UTC.
        console.out << tr("Clock set to %1")
                           .arg(now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate))
                    << '\n';
        console.out.flush();
    }
    return conclude(console, set);
}

int switchCell(const Invocation &invocation, ModuleConnection &connection, Console &console)
{
    const QString choice = invocation.words.first();
    if (choice != "enable" && choice != "disable")
        return usageError(console, tr("'cell' needs enable or disable, not '%1'.").arg(choice));
    const int opened = connection.open();
    if (opened != Success)
        return opened;
    const OperationResult switched = setCellEnabled(connection.session(), choice == "enable");
    CollectionRecord(connection, console)
        .record(archive::action::CellSwitched, switched, {{"enabled", choice == "enable"}});
    return conclude(console, switched);
}

int setSerial(const Invocation &invocation, ModuleConnection &connection, Console &console)
{
    // The window's input dialog takes 0 to 2147483647 and nothing else.
    bool number = false;
    const qint64 wanted = invocation.words.first().toLongLong(&number);
    if (!number || wanted < 0 || wanted > 2147483647)
        return usageError(console, tr("the serial number must be a whole number from 0 to "
                                      "2147483647, not '%1'.")
                                       .arg(invocation.words.first()));
    const int opened = connection.open();
    if (opened != Success)
        return opened;
    quint32 stored = 0;
    const OperationResult set = setSerialNumber(connection.session(), quint32(wanted), stored);
    CollectionRecord collection(connection, console);
    if (set.succeeded())
        collection.setSerial(stored);
    collection.record(archive::action::SerialSet, set,
                      {{"serial", qint64(set.succeeded() ? stored : quint32(wanted))}});
    if (set.succeeded()) {
        console.out << windowText("Serial Number: ") << stored << '\n';
        console.out.flush();
    }
    return conclude(console, set);
}

int eraseLog(const Invocation &invocation, ModuleConnection &connection, Console &console)
{
    if (!invocation.has("--yes"))
        return usageError(console, tr("'log erase' deletes every record of the module's log; "
                                      "add --yes to go ahead."));
    const int opened = connection.open();
    if (opened != Success)
        return opened;
    const OperationResult erased = ::eraseLog(connection.session());
    CollectionRecord(connection, console).record(archive::action::LogErased, erased);
    return conclude(console, erased);
}

} // namespace cli
