#include "app/talvik.h"

#include "config/parametermap.h"
#include "config/parameterwidgets.h"
#include "ui_talvik.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QSettings>

namespace
{

QString folderOf(const QString &path)
{
    return path.left(path.lastIndexOf('/') + 1);
}

} // namespace

void Talvik::on_ButtonSave_clicked()
{
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Save Settings"), lastDirectory,
                                     tr("Norvale Control Module Setting Files (*.ncm)"));
    if (path.isEmpty())
        return;
    lastDirectory = folderOf(path);

    // QSettings would keep the keys of an old file; the new file holds only
    // what is written now.
    if (QFile::exists(path))
        QFile::remove(path);

    const QVector<QWidget *> widgets = config::parameterWidgets(*ui);
    QSettings file(path, QSettings::IniFormat);
    for (int item = 0; item < config::ParameterCount; ++item) {
        const config::Parameter &parameter = config::ParameterMap[item];
        if (parameter.fileKey == nullptr)
            continue;
        const QString key = QString::fromLatin1(parameter.fileKey);
        if (parameter.kind == config::Kind::Choice)
            file.setValue(key, static_cast<QComboBox *>(widgets[item])->currentIndex());
        else
            file.setValue(key, static_cast<QLineEdit *>(widgets[item])->text());
    }
    file.sync();
    // A technician who walks away believing the configuration is kept must
    // learn that it is not.
    if (file.status() != QSettings::NoError)
        showMessage(true, tr("Failed to save configuration file."));
}

void Talvik::on_ButtonLoad_clicked()
{
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

    // Map order puts each analog type before the items its presentation
    // overwrites, so the file's values are the ones that stay.
    const QVector<QWidget *> widgets = config::parameterWidgets(*ui);
    QSettings file(path, QSettings::IniFormat);
    for (int item = 0; item < config::ParameterCount; ++item) {
        const config::Parameter &parameter = config::ParameterMap[item];
        if (parameter.fileKey == nullptr)
            continue;
        const QVariant value =
            file.value(QString::fromLatin1(parameter.fileKey), config::fileDefault(parameter));
        if (parameter.kind == config::Kind::Choice) {
            auto *box = static_cast<QComboBox *>(widgets[item]);
            box->setCurrentIndex(config::choiceIndex(config::choiceFromFile(value), box->count()));
        } else {
            static_cast<QLineEdit *>(widgets[item])->setText(value.toString());
        }
    }
}
