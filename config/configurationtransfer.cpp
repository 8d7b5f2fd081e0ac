#include "config/configurationtransfer.h"

#include "config/fieldnames.h"
#include "core/operationprogress.h"
#include "usb/modulesession.h"

#include <QCoreApplication>

namespace config
{

namespace
{

// The window's texts, in its translation context.
QString tr(const char *text)
{
    return QCoreApplication::translate("Talvik", text);
}

OperationResult moduleFailure(const char *text)
{
    return OperationResult::failure(OperationResult::Reason::Module, tr(text));
}

// Reads one item from the module as the form shows it; passwords are never
// asked for.
int readItem(ModuleSession &session, const Configuration &configuration, const Parameter &parameter,
             QString &text)
{
    switch (parameter.kind) {
    case Kind::Float: {
        float value;
        if (session.readParamFloat(parameter.index, value) != 0)
            return -1;
        text = floatToText(value);
        return 0;
    }
    case Kind::Choice: {
        int value;
        if (session.readParamInt16(parameter.index, value) != 0)
            return -1;
        text = QString::number(choiceIndex(value, choiceCount(configuration, parameter)));
        return 0;
    }
    case Kind::Port: {
        int value;
        if (session.readParamInt16(parameter.index, value) != 0)
            return -1;
        text = portToText(value);
        return 0;
    }
    case Kind::Text:
        return session.readParamString(parameter.index, text);
    case Kind::Password:
        break;
    }
    return -1;
}

// Sends one item to the module. A blank password is not sent, so the module
// keeps the one it has.
int writeItem(ModuleSession &session, const Parameter &parameter, const QString &text)
{
    switch (parameter.kind) {
    case Kind::Float:
        return session.writeParamFloat(parameter.index, floatFromText(text));
    case Kind::Choice:
        return session.writeParamInt16(parameter.index, choiceToWire(text.toInt()));
    case Kind::Port:
        // The port has no key in configuration files, so after a load it is
        // empty; like a blank password it is then not sent.
        return text.isEmpty() ? 0 : session.writeParamInt16(parameter.index, portToWire(text));
    case Kind::Text:
        return session.writeParamString(parameter.index, text);
    case Kind::Password:
        return text.isEmpty() ? 0 : session.writeParamString(parameter.index, text);
    }
    return -1;
}

int analogType(const Configuration &configuration, int channel)
{
    const Parameter *type = parameterOf(QString::fromLatin1(AnalogChannels[channel].type));
    return configuration.value(Configuration::keyOf(*type)).toInt();
}

// Rows the analog presentation hides go out as they always did, unchecked.
bool checked(const Configuration &configuration, const Parameter &parameter, int &type)
{
    int channel;
    AnalogField field;
    type = -1;
    if (!analogFieldOf(QString::fromLatin1(parameter.widget), channel, field))
        return true;
    type = analogType(configuration, channel);
    return analogFieldShown(type, field);
}

} // namespace

OperationResult readConfiguration(ModuleSession &session, OperationProgress &progress,
                                  Configuration &configuration, ModuleIdentity &identity,
                                  ReadListener &listener)
{
    // Three identity steps, then one step per item the module is asked for.
    progress.setRange(0, readableParameterCount() + 2);
    ModuleIdentity found;
    if (session.querySerialNumber(found.serialNumber) != 0) {
        return moduleFailure("Failed to get serial number.");
    }
    listener.serialNumberArrived(found.serialNumber);
    progress.setValue(0);
    progress.letEventsRun();

    if (session.querySoftwareVersion(found.softwareVersion) != 0) {
        return moduleFailure("Failed to get software version.");
    }
    listener.softwareVersionArrived(found.softwareVersion);
    progress.setValue(1);
    progress.letEventsRun();

    if (session.queryEepromVersion(found.eepromVersion) != 0) {
        return moduleFailure("Failed to get eeprom version.");
    }
    if (!ModuleSession::eepromSupported(found.eepromVersion)) {
        return moduleFailure("Incompatable Firmware Version.");
    }
    int step = 2;
    progress.setValue(step);
    progress.letEventsRun();

    for (const Parameter &parameter : ParameterMap) {
        const QString key = Configuration::keyOf(parameter);
        if (parameter.kind == Kind::Password) {
            // Passwords cannot be read back; a blank field later writes nothing.
            configuration.setValue(key, QString());
            listener.valueArrived(key, QString());
            for (const PasswordPair &pair : PasswordPairs) {
                if (key != QLatin1String(pair.password))
                    continue;
                configuration.setValue(QString::fromLatin1(pair.verify), QString());
                listener.valueArrived(QString::fromLatin1(pair.verify), QString());
            }
            continue;
        }
        QString text;
        if (readItem(session, configuration, parameter, text) != 0) {
            progress.finish();
            return moduleFailure("Failed to read settings.");
        }
        fillItem(configuration, parameter, text);
        listener.valueArrived(key, text);
        progress.setValue(++step);
        progress.letEventsRun();
    }

    progress.finish();
    identity = found;
    return OperationResult::success(tr("Settings read from unit."));
}

namespace
{

// A field named as the float checks name it, in a message that ends in what
// the write did.
QString fieldRefusal(const QString &problem, const Parameter &parameter, int analogType)
{
    const QString widget = QString::fromLatin1(parameter.widget);
    return problem.arg(fieldName(widget, analogType), pageTitle(widget)) + QLatin1Char(' ') +
           tr("Nothing was written to the unit.");
}

template <typename Wanted>
QString firstUnsendableField(const Configuration &configuration, Wanted wanted)
{
    for (const Parameter &parameter : ParameterMap) {
        int type;
        if (parameter.kind == Kind::Choice || !wanted(parameter) ||
            !checked(configuration, parameter, type))
            continue;
        const QString text = configuration.value(Configuration::keyOf(parameter));
        QString problem;
        if (parameter.kind == Kind::Float && !floatTextIsSendable(text))
            problem = tr("The field \"%1\" on the page \"%2\" needs a real number.");
        else if (parameter.kind == Kind::Port && !text.isEmpty() && !portTextIsSendable(text))
            problem = tr("The field \"%1\" on the page \"%2\" needs a port number from 0 "
                         "to 65535, or nothing to keep the port of the unit.");
        else if ((parameter.kind == Kind::Text || parameter.kind == Kind::Password) &&
                 !textIsSendable(text))
            problem = tr("The field \"%1\" on the page \"%2\" holds characters that the "
                         "unit cannot store.");
        if (!problem.isEmpty())
            return fieldRefusal(problem, parameter, type);
    }
    return QString();
}

OperationResult writeItems(ModuleSession &session, OperationProgress &progress,
                           const Configuration &configuration, const QVector<int> &items)
{
    progress.setRange(0, items.size());
    int version;
    if (session.queryEepromVersion(version) != 0) {
        return moduleFailure("Failed to get eeprom version.");
    }
    if (!ModuleSession::eepromSupported(version)) {
        return moduleFailure("Incompatable Firmware Version.");
    }
    progress.setValue(0);
    progress.letEventsRun();

    for (int step = 0; step < items.size(); ++step) {
        const Parameter &parameter = ParameterMap[items[step]];
        if (writeItem(session, parameter, configuration.value(Configuration::keyOf(parameter))) !=
            0) {
            // What was written stays written; the rest is not sent.
            progress.finish();
            return moduleFailure("Failed to write settings.");
        }
        progress.setValue(step + 1);
        progress.letEventsRun();
    }

    progress.setValue(items.size());
    progress.letEventsRun();
    progress.finish();
    return OperationResult::success(tr("Settings written to unit."));
}

} // namespace

QString unsendableField(const Configuration &configuration)
{
    return firstUnsendableField(configuration, [](const Parameter &) { return true; });
}

QString unsendableField(const Configuration &configuration, const QStringList &keys)
{
    return firstUnsendableField(configuration, [&keys](const Parameter &parameter) {
        return keys.contains(Configuration::keyOf(parameter));
    });
}

QString unselectedChoice(const Configuration &configuration)
{
    for (const Parameter &parameter : ParameterMap) {
        if (parameter.kind != Kind::Choice ||
            configuration.value(Configuration::keyOf(parameter)).toInt() >= 0 ||
            choiceCount(configuration, parameter) == 0)
            continue;
        // A units box shows only under a type whose rule shows it.
        const int channel = analogChannelOfUnits(QString::fromLatin1(parameter.widget));
        const int type = channel >= 0 ? analogType(configuration, channel) : -1;
        const AnalogRule *rule = analogRule(type);
        if (channel >= 0 && (rule == nullptr || !rule->unitsBoxShown))
            continue;
        return fieldRefusal(tr("The field \"%1\" on the page \"%2\" shows none of its items; "
                               "choose one."),
                            parameter, type);
    }
    return QString();
}

QString passwordMismatch(const Configuration &configuration)
{
    const char *const mismatches[] = {
        QT_TRANSLATE_NOOP("Talvik", "ERROR: Weather Underground Passwords do not match!"),
        QT_TRANSLATE_NOOP("Talvik", "ERROR: Email Passwords do not match!"),
        QT_TRANSLATE_NOOP("Talvik", "ERROR: FTP Passwords do not match!"),
    };
    for (int pair = 0; pair < int(PasswordPairs.size()); ++pair)
        if (configuration.value(QString::fromLatin1(PasswordPairs[pair].password)) !=
            configuration.value(QString::fromLatin1(PasswordPairs[pair].verify)))
            return tr(mismatches[pair]);
    return QString();
}

OperationResult writeConfiguration(ModuleSession &session, OperationProgress &progress,
                                   const Configuration &configuration)
{
    QVector<int> items;
    for (int item = 0; item < ParameterCount; ++item)
        items.append(item);
    return writeItems(session, progress, configuration, items);
}

OperationResult writeConfiguration(ModuleSession &session, OperationProgress &progress,
                                   const Configuration &configuration, const QStringList &keys)
{
    QVector<int> items;
    for (int item = 0; item < ParameterCount; ++item)
        if (keys.contains(Configuration::keyOf(ParameterMap[item])))
            items.append(item);
    return writeItems(session, progress, configuration, items);
}

} // namespace config
