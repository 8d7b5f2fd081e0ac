#include "app/talvik.h"

#include "config/ncmfile.h"
#include "config/parametermap.h"
#include "config/parameterwidgets.h"
#include "ui_talvik.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QSaveFile>

namespace
{

QString folderOf(const QString &path)
{
    return path.left(path.lastIndexOf('/') + 1);
}

QString refusal(const config::NcmContents &contents, const QString &path)
{
    const QString name = QDir::toNativeSeparators(path);
    switch (contents.problem) {
    case config::NcmProblem::NotARegularFile:
        return Talvik::tr("The file \"%1\" is not a regular file. Nothing was loaded.").arg(name);
    case config::NcmProblem::TooLarge:
        return Talvik::tr("The file \"%1\" is too large for a configuration file. Nothing was "
                          "loaded.")
            .arg(name);
    case config::NcmProblem::CannotRead:
        return Talvik::tr("Could not read the configuration file \"%1\". Nothing was loaded.")
            .arg(name);
    case config::NcmProblem::NotNcm:
        return Talvik::tr("The file \"%1\" is not a configuration file: line %2 is not one that "
                          "Talvik writes. Nothing was loaded.")
            .arg(name, QString::number(contents.line));
    case config::NcmProblem::None:
        break;
    }
    return Talvik::tr("The file \"%1\" holds none of the configuration settings. Nothing was "
                      "loaded.")
        .arg(name);
}

} // namespace

void Talvik::on_ButtonSave_clicked()
{
    const ActionScope action(*this);
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Save Settings"), lastDirectory,
                                     tr("Norvale Control Module Setting Files (*.ncm)"));
    if (path.isEmpty())
        return;
    lastDirectory = folderOf(path);

    const QVector<QWidget *> widgets = config::parameterWidgets(*ui);
    QVector<std::pair<QString, QString>> entries;
    for (int item = 0; item < config::ParameterCount; ++item) {
        const config::Parameter &parameter = config::ParameterMap[item];
        if (parameter.fileKey == nullptr)
            continue;
        const QString key = QString::fromLatin1(parameter.fileKey);
        if (parameter.kind == config::Kind::Choice)
            entries.append(
                {key, QString::number(static_cast<QComboBox *>(widgets[item])->currentIndex())});
        else
            entries.append({key, static_cast<QLineEdit *>(widgets[item])->text()});
    }

    // The old file is replaced only by a complete new one, and is never read:
    // a file that cannot be written leaves the good one in place. Unbuffered,
    // because a buffered flush that writes only part of the text (a full disk)
    // is not reported as an error.
    const QByteArray text = config::ncmText(entries);
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                       file.write(text) == text.size() && file.commit();
    // A technician who walks away believing the configuration is kept must
    // learn that it is not.
    if (!saved)
        showMessage(true, tr("Failed to save configuration file."));
}

void Talvik::on_ButtonLoad_clicked()
{
    const ActionScope action(*this);
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Load Settings"), lastDirectory,
                                     tr("Norvale Control Module Setting Files (*.ncm)"));
    if (path.isEmpty())
        return;
    lastDirectory = folderOf(path);

    if (!QFile::exists(path)) {
        showMessage(true, tr("File not found."));
        return;
    }

    // A file that is not ours, or holds none of our keys, would only reset
    // the form to defaults, which the technician might then write to a module.
    const config::NcmContents contents = config::readNcmFile(path);
    bool anyKnownKey = false;
    for (const config::Parameter &parameter : config::ParameterMap)
        if (parameter.fileKey != nullptr &&
            contents.values.contains(QString::fromLatin1(parameter.fileKey)))
            anyKnownKey = true;
    if (contents.problem != config::NcmProblem::None || !anyKnownKey) {
        showMessage(true, refusal(contents, path));
        return;
    }

    // Map order puts each analog type before the items its presentation
    // overwrites, so the file's values are the ones that stay.
    const QVector<QWidget *> widgets = config::parameterWidgets(*ui);
    for (int item = 0; item < config::ParameterCount; ++item) {
        const config::Parameter &parameter = config::ParameterMap[item];
        if (parameter.fileKey == nullptr)
            continue;
        const QString key = QString::fromLatin1(parameter.fileKey);
        const QVariant value = contents.values.contains(key) ? QVariant(contents.values.value(key))
                                                             : config::fileDefault(parameter);
        if (parameter.kind == config::Kind::Choice) {
            auto *box = static_cast<QComboBox *>(widgets[item]);
            box->setCurrentIndex(config::choiceIndex(config::choiceFromFile(value), box->count()));
        } else {
            static_cast<QLineEdit *>(widgets[item])->setText(value.toString());
        }
    }
}
