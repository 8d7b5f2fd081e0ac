// The commands that are one exchange or one stream: identity, firmware,
// clock, cell switch, serial number and log erase.
#include "cli/commands.h"
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

// The window's message for a result of the module's operations, and the
// exit code that goes with it.
int finish(Console &console, int result, const QString &message)
{
    if (!message.isEmpty())
        tell(console, message);
    return result == 0 ? Success : Failed;
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
        return finish(console, -1, windowText("Failed to get serial number."));
    if (session.querySoftwareVersion(softwareVersion) != 0)
        return finish(console, -1, windowText("Failed to get software version."));
    if (session.queryEepromVersion(eepromVersion) != 0)
        return finish(console, -1, windowText("Failed to get eeprom version."));

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
    QString message;
    // A file that cannot be sent is refused before the module hears of it.
    if (loadFirmwareImage(invocation.words.first(), image, message) != 0)
        return finish(console, -1, message);
    const int opened = connection.open();
    if (opened != Success)
        return opened;
    TerminalProgress progress(console.err, console.progressBars);
    progress.setLabel(tr("Uploading firmware"));
    const int result = uploadFirmwareImage(connection.session(), image, progress, message);
    progress.finish();
    if (result == FirmwareUploadCancelled) {
        tell(console, tr("Firmware upload cancelled; the module did not take the image."));
        return Failed;
    }
    return finish(console, result, message);
}

int setClock(const Invocation &, ModuleConnection &connection, Console &console)
{
    const int opened = connection.open();
    if (opened != Success)
        return opened;
    QString message;
    const int result = setModuleClock(connection.session(), QDateTime::currentDateTime(), message);
    return finish(console, result, message);
}

int switchCell(const Invocation &invocation, ModuleConnection &connection, Console &console)
{
    const QString choice = invocation.words.first();
    if (choice != "enable" && choice != "disable")
        return usageError(console, tr("'cell' needs enable or disable, not '%1'.").arg(choice));
    const int opened = connection.open();
    if (opened != Success)
        return opened;
    QString message;
    const int result = setCellEnabled(connection.session(), choice == "enable", message);
    return finish(console, result, message);
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
    QString message;
    quint32 stored = 0;
    const int result = setSerialNumber(connection.session(), quint32(wanted), stored, message);
    if (result == 0) {
        console.out << windowText("Serial Number: ") << stored << '\n';
        console.out.flush();
    }
    return finish(console, result, message);
}

int eraseLog(const Invocation &invocation, ModuleConnection &connection, Console &console)
{
    if (!invocation.has("--yes"))
        return usageError(console, tr("'log erase' deletes every record of the module's log; "
                                      "add --yes to go ahead."));
    const int opened = connection.open();
    if (opened != Success)
        return opened;
    QString message;
    const int result = ::eraseLog(connection.session(), message);
    return finish(console, result, message);
}

} // namespace cli
