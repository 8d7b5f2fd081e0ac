#include "config/configuration.h"

#include "config/ncmfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

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
    case NcmProblem::NotNcm:
        return tr("The file \"%1\" is not a configuration file: line %2 is not one that "
                  "Talvik writes. Nothing was loaded.")
            .arg(name, QString::number(contents.line));
    case NcmProblem::None:
        break;
    }
    return tr("The file \"%1\" holds none of the configuration settings. Nothing was "
              "loaded.")
        .arg(name);
}

} // namespace

OperationResult applyConfigurationFile(const QString &path, Configuration &configuration)
{
    if (!QFile::exists(path))
        return fileFailure(tr("File not found."));

    // A file that is not ours, or holds none of our keys, would only reset
    // the form to defaults, which the technician might then write to a module.
    const NcmContents contents = readNcmFile(path);
    bool anyKnownKey = false;
    for (const Parameter &parameter : ParameterMap)
        if (parameter.fileKey != nullptr &&
            contents.values.contains(QString::fromLatin1(parameter.fileKey)))
            anyKnownKey = true;
    if (contents.problem != NcmProblem::None || !anyKnownKey)
        return fileFailure(refusal(contents, path));

    // Map order puts each analog type before the items its presentation
    // overwrites, so the file's values are the ones that stay.
    Configuration loaded = configuration;
    for (const Parameter &parameter : ParameterMap) {
        if (parameter.fileKey == nullptr)
            continue;
        const QString key = QString::fromLatin1(parameter.fileKey);
        const QVariant value = contents.values.contains(key) ? QVariant(contents.values.value(key))
                                                             : fileDefault(parameter);
        if (parameter.kind == Kind::Choice)
            fillItem(loaded, parameter,
                     QString::number(
                         choiceIndex(choiceFromFile(value), choiceCount(loaded, parameter))));
        else
            fillItem(loaded, parameter, value.toString());
    }
    configuration = loaded;
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
