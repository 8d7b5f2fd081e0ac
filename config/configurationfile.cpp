#include "config/configuration.h"

#include "config/ncmfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cfloat>

namespace config
{

namespace
{

// The window's texts, in its translation context.
QString tr(const char *text)
{
    return QCoreApplication::translate("Talvik", text);
}

OperationResult fileFailure(const QString &message)
{
    return OperationResult::failure(OperationResult::Reason::File, message);
}

// What is wrong with a line the parser refused, in words.
QString faultText(const NcmContents &contents)
{
    switch (contents.fault) {
    case NcmFault::ByteOrderMark:
        return tr("The file starts with a byte-order mark, which Talvik does not write.");
    case NcmFault::RawBytes:
        return tr("The line holds bytes past ASCII, such as UTF-8 text; Talvik writes such "
                  "characters as escapes (\\x...).");
    case NcmFault::ControlCharacter:
        return tr("The line holds a tab or another control character; Talvik writes such "
                  "characters as escapes.");
    case NcmFault::NoSection:
        return tr("Talvik's files start with the line [General].");
    case NcmFault::OtherSection:
        return tr("Talvik's files hold no section but [General].");
    case NcmFault::NoKeyValue:
        return tr("The line is not of the form key=value.");
    case NcmFault::BadKey:
        return tr("Its key holds characters that Talvik would have escaped, or an escape "
                  "Talvik never writes.");
    case NcmFault::NeedsQuotes:
        return tr("Its value would have been quoted by the settings library: it holds ';', "
                  "',' or '=', or starts or ends with a blank.");
    case NcmFault::BadQuotes:
        return tr("Its value holds a quotation mark that is not escaped, or one that is "
                  "never closed.");
    case NcmFault::BadEscape:
        return tr("Its value holds an escape that Talvik never writes.");
    case NcmFault::TypedValue:
        return tr("Its value starts with a single '@', which the settings library reads as "
                  "a typed value such as @Variant(...).");
    case NcmFault::DuplicateKey:
        return tr("The key \"%1\" stands on line %2 and again on line %3.")
            .arg(contents.key, QString::number(contents.earlierLine),
                 QString::number(contents.line));
    case NcmFault::CutShort:
        return tr("The file ends inside this line, without the line end Talvik writes.");
    case NcmFault::None:
        break;
    }
    return QString();
}

QString refusal(const NcmContents &contents, const QString &path)
{
    const QString name = QDir::toNativeSeparators(path);
    switch (contents.problem) {
    case NcmProblem::NotARegularFile:
        return tr("The file \"%1\" is not a regular file. Nothing was loaded.").arg(name);
    case NcmProblem::TooLarge:
        return tr("The file \"%1\" is too large for a configuration file. Nothing was "
                  "loaded.")
            .arg(name);
    case NcmProblem::CannotRead:
        return tr("Could not read the configuration file \"%1\". Nothing was loaded.").arg(name);
    case NcmProblem::NotNcm: {
        const QString text = tr("The file \"%1\" is not a configuration file: line %2 is not "
                                "one that Talvik writes. Nothing was loaded.")
                                 .arg(name, QString::number(contents.line));
        const QString fault = faultText(contents);
        return fault.isEmpty() ? text : text + QLatin1Char(' ') + fault;
    }
    case NcmProblem::None:
        break;
    }
    return tr("The file \"%1\" holds none of the configuration settings. Nothing was "
              "loaded.")
        .arg(name);
}

// The file's contents, or the window's refusal of it.
OperationResult readConfigurationFile(const QString &path, NcmContents &contents)
{
    if (!QFile::exists(path))
        return fileFailure(tr("File not found."));

    // A file that is not ours, or holds none of our keys, would only reset
    // the form to defaults, which the technician might then write to a module.
    contents = readNcmFile(path);
    bool anyKnownKey = false;
    for (const Parameter &parameter : ParameterMap)
        if (parameter.fileKey != nullptr &&
            contents.values.contains(QString::fromLatin1(parameter.fileKey)))
            anyKnownKey = true;
    if (contents.problem != NcmProblem::None || !anyKnownKey)
        return fileFailure(refusal(contents, path));
    return OperationResult::success();
}

void applyContents(const NcmContents &contents, Configuration &configuration)
{
    // Map order puts each analog type before the items its presentation
    // overwrites, so the file's values are the ones that stay.
    for (const Parameter &parameter : ParameterMap) {
        if (parameter.fileKey == nullptr)
            continue;
        const QString key = QString::fromLatin1(parameter.fileKey);
        const QVariant value = contents.values.contains(key) ? QVariant(contents.values.value(key))
                                                             : fileDefault(parameter);
        if (parameter.kind == Kind::Choice)
            fillItem(configuration, parameter,
                     QString::number(choiceIndex(choiceFromFile(value),
                                                 choiceCount(configuration, parameter))));
        else
            fillItem(configuration, parameter, value.toString());
    }
}

OperationResult refusedFile(const QString &problem, QChar separator = QLatin1Char(' '))
{
    return OperationResult::failure(OperationResult::Reason::Refused,
                                    problem + separator + tr("Nothing was written to the unit."));
}

// A value as a message quotes it: control characters as escapes, so that
// one value stays on one line.
QString shownValue(const QString &text)
{
    QString shown;
    for (const QChar ch : text) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            shown += QStringLiteral("\\x%1").arg(ch.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += ch;
    }
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

QString valueProblem(const Parameter &parameter, const QString &text, int itemCount)
{
    const QString key = QString::fromLatin1(parameter.fileKey);
    switch (fileValueFault(parameter, text, itemCount)) {
    case ValueFault::NotWholeNumber:
    case ValueFault::NotAnItem:
        if (itemCount == 0)
            return tr("%1: %2 is not a whole number; the box offers no items for this type, "
                      "and takes any whole number.")
                .arg(key, shownValue(text));
        return tr("%1: %2 is not one of its items; it takes 0 to %3.")
            .arg(key, shownValue(text), QString::number(itemCount - 1));
    case ValueFault::TooLong:
        return tr("%1: %2 has %3 characters; the field holds at most %4.")
            .arg(key, shownValue(text), QString::number(text.size()),
                 QString::number(parameter.maxLength));
    case ValueFault::OutsideLatin1:
        return tr("%1: %2 holds characters that the unit cannot store; it takes Latin-1 "
                  "characters only (up to U+00FF).")
            .arg(key, shownValue(text));
    case ValueFault::NotFinite:
        return tr("%1: %2 goes out as no finite number; it takes numbers from %3 to %4.")
            .arg(key, shownValue(text), floatToText(-FLT_MAX), floatToText(FLT_MAX));
    case ValueFault::None:
        break;
    }
    return QString();
}

} // namespace

OperationResult applyConfigurationFile(const QString &path, Configuration &configuration)
{
    NcmContents contents;
    const OperationResult read = readConfigurationFile(path, contents);
    if (read.failed())
        return read;
    Configuration loaded = configuration;
    applyContents(contents, loaded);
    configuration = loaded;
    return OperationResult::success();
}

OperationResult loadConfigurationForWrite(const QString &path, bool partial, FileForWrite &file)
{
    NcmContents contents;
    const OperationResult read = readConfigurationFile(path, contents);
    if (read.failed())
        return read;

    const QString name = QDir::toNativeSeparators(path);
    FileForWrite loaded;
    loaded.configuration = Configuration::freshForm();
    applyContents(contents, loaded.configuration);
    for (const Parameter &parameter : ParameterMap) {
        if (parameter.fileKey == nullptr)
            continue;
        const QString key = QString::fromLatin1(parameter.fileKey);
        (contents.values.contains(key) ? loaded.keys : loaded.missingKeys).append(key);
    }
    for (auto it = contents.values.cbegin(); it != contents.values.cend(); ++it)
        if (!loaded.keys.contains(it.key()))
            loaded.unknownKeys.append(it.key());
    file = loaded;

    // The window's Load would give the missing keys their defaults, and the
    // write would then overwrite what the module holds for them.
    if (!partial && !loaded.missingKeys.isEmpty())
        return refusedFile(tr("The file \"%1\" lacks %2 of the %3 settings: %4.")
                               .arg(name, QString::number(loaded.missingKeys.size()),
                                    QString::number(fileParameterCount()),
                                    loaded.missingKeys.join(QStringLiteral(", "))));

    // An analog channel's units and coefficients mean something only under
    // the type they were chosen for.
    for (const AnalogChannelWidgets &channel : AnalogChannels) {
        const QString type = Configuration::keyOf(*parameterOf(QString::fromLatin1(channel.type)));
        if (loaded.keys.contains(type))
            continue;
        QStringList held;
        QStringList items = {
            Configuration::keyOf(*parameterOf(QString::fromLatin1(channel.units)))};
        for (const char *field : channel.fields)
            items.append(Configuration::keyOf(*parameterOf(QString::fromLatin1(field))));
        for (const QString &item : items)
            if (loaded.keys.contains(item))
                held.append(item);
        if (!held.isEmpty())
            return refusedFile(tr("The file \"%1\" holds %2 but not %3: an analog channel's "
                                  "settings are written only together with its type.")
                                   .arg(name, held.join(QStringLiteral(", ")), type));
    }

    QStringList problems;
    for (const Parameter &parameter : ParameterMap) {
        if (parameter.fileKey == nullptr ||
            !contents.values.contains(QString::fromLatin1(parameter.fileKey)))
            continue;
        const QString problem =
            valueProblem(parameter, contents.values.value(QString::fromLatin1(parameter.fileKey)),
                         choiceCount(loaded.configuration, parameter));
        if (!problem.isEmpty())
            problems.append(problem);
    }
    if (!problems.isEmpty())
        return refusedFile(
            tr("The file \"%1\" holds values that the window's form could not hold:").arg(name) +
                QLatin1Char('\n') + problems.join(QLatin1Char('\n')),
            QLatin1Char('\n'));
    return OperationResult::success();
}

OperationResult loadConfigurationFile(const QString &path, Configuration &configuration)
{
    Configuration loaded = Configuration::freshForm();
    for (const Parameter &parameter : ParameterMap)
        if (parameter.fileKey == nullptr)
            loaded.setValue(Configuration::keyOf(parameter),
                            configuration.value(Configuration::keyOf(parameter)));
    for (const PasswordPair &pair : PasswordPairs) {
        const QString verify = QString::fromLatin1(pair.verify);
        loaded.setValue(verify, configuration.value(verify));
    }
    const OperationResult applied = applyConfigurationFile(path, loaded);
    if (applied.succeeded())
        configuration = loaded;
    return applied;
}

OperationResult saveConfigurationFile(const QString &path, const Configuration &configuration)
{
    QVector<std::pair<QString, QString>> entries;
    for (const Parameter &parameter : ParameterMap)
        if (parameter.fileKey != nullptr)
            entries.append({QString::fromLatin1(parameter.fileKey),
                            configuration.value(Configuration::keyOf(parameter))});

    // The old file is replaced only by a complete new one, and is never read:
    // a file that cannot be written leaves the good one in place. Unbuffered,
    // because a buffered flush that writes only part of the text (a full disk)
    // is not reported as an error.
    const QByteArray text = ncmText(entries);
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                       file.write(text) == text.size() && file.commit();
    // A technician who walks away believing the configuration is kept must
    // learn that it is not.
    if (!saved)
        return fileFailure(tr("Failed to save configuration file."));
    return OperationResult::success();
}

} // namespace config
