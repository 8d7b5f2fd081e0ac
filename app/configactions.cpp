#include "app/talvik.h"

#include "app/parameterwidgets.h"
#include "app/stationarchive.h"
#include "app/visitrecorder.h"
#include "app/windowprogress.h"
#include "config/configurationtransfer.h"
#include "ui_talvik.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace
{

QString folderOf(const QString &path)
{
    return path.left(path.lastIndexOf('/') + 1);
}

// Puts each value of a read into the form as it arrives. Setting a type box
// runs the analog presentation before that channel's other items arrive.
class FormFiller : public config::ReadListener
{
public:
    explicit FormFiller(Ui::TalvikClass &form)
        : form(form), widgets(binding::parameterWidgets(form)),
          verifyFields(binding::verifyFields(form))
    {
    }

    void serialNumberArrived(quint32 serialNumber) override
    {
        form.LabelSN->setText(Talvik::tr("Serial Number: ") + QString::number(serialNumber));
    }

    void softwareVersionArrived(int version) override
    {
        form.LabelVer->setText(Talvik::tr("Software Version: ") + QString::number(version));
    }

    void valueArrived(const QString &key, const QString &value) override
    {
        for (int pair = 0; pair < verifyFields.size(); ++pair) {
            if (key == QLatin1String(config::PasswordPairs[pair].verify)) {
                verifyFields[pair]->clear();
                return;
            }
        }
        for (int item = 0; item < config::ParameterCount; ++item) {
            const config::Parameter &parameter = config::ParameterMap[item];
            if (key != config::Configuration::keyOf(parameter))
                continue;
            if (parameter.kind == config::Kind::Password)
                static_cast<QLineEdit *>(widgets[item])->clear();
            else
                binding::showValue(widgets[item], parameter, value);
            return;
        }
    }

private:
    Ui::TalvikClass &form;
    const QVector<QWidget *> widgets;
    const QVector<QLineEdit *> verifyFields;
};

} // namespace

void Talvik::on_ButtonRead_clicked()
{
    const ActionScope action(*this);
    // Three identity steps, then one step per item the module is asked for.
    WindowProgress progress(tr("Reading Settings..."), QString(),
                            WindowProgress::OnFinish::HideAndClose, this);
    progress.setRange(0, config::readableParameterCount() + 2);

    FormFiller filler(*ui);
    config::Configuration configuration = binding::formConfiguration(*ui);
    config::ModuleIdentity identity;
    const OperationResult read =
        config::readConfiguration(*session, progress, configuration, identity, filler);
    visits->configurationRead(read, identity, configuration);
    if (read.succeeded())
        stationArchive->configurationRead(identity, configuration);
    showResult(read);
}

void Talvik::on_ButtonWrite_clicked()
{
    const ActionScope action(*this);
    const config::Configuration configuration = binding::formConfiguration(*ui);
    QString refusal = config::passwordMismatch(configuration);
    if (refusal.isEmpty())
        refusal = config::unsendableField(configuration);
    // A box left without an item by a value it does not offer would send
    // 0xFFFF over the module's setting.
    if (refusal.isEmpty())
        refusal = config::unselectedChoice(configuration);
    if (!refusal.isEmpty()) {
        visits->configurationWritten(
            OperationResult::failure(OperationResult::Reason::Refused, refusal), configuration);
        showMessage(true, refusal);
        return;
    }

    QMessageBox confirmation(QMessageBox::Critical, tr("Talvik"),
                             tr("Are you sure you want to overwrite settings on unit?"),
                             QMessageBox::Ok | QMessageBox::Cancel, this);
    if (confirmation.exec() != QMessageBox::Ok) {
        QCoreApplication::processEvents();
        visits->configurationWritten(OperationResult::failure(OperationResult::Reason::Cancelled,
                                                              tr("Failed to write settings.")),
                                     configuration);
        showMessage(true, tr("Failed to write settings."));
        return;
    }

    WindowProgress progress(tr("Writing Settings..."), QString(),
                            WindowProgress::OnFinish::HideAndClose, this);
    progress.setRange(0, config::ParameterCount);
    const OperationResult written = config::writeConfiguration(*session, progress, configuration);
    visits->configurationWritten(written, configuration);
    if (written.succeeded())
        stationArchive->configurationWritten(configuration);
    showResult(written);
}

void Talvik::on_ButtonSave_clicked()
{
    const ActionScope action(*this);
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Save Settings"), lastDirectory,
                                     tr("Norvale Control Module Setting Files (*.ncm)"));
    if (path.isEmpty())
        return;
    lastDirectory = folderOf(path);

    const OperationResult saved =
        config::saveConfigurationFile(path, binding::formConfiguration(*ui));
    visits->fileSaved(path, saved);
    if (saved.failed())
        showResult(saved);
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

    config::Configuration configuration = binding::formConfiguration(*ui);
    const OperationResult loaded = config::applyConfigurationFile(path, configuration);
    visits->fileLoaded(path, loaded);
    if (loaded.failed()) {
        showResult(loaded);
        return;
    }
    // In map order, so that each analog type's presentation runs before the
    // file's values for its channel replace what it put in.
    const QVector<QWidget *> widgets = binding::parameterWidgets(*ui);
    for (int item = 0; item < config::ParameterCount; ++item) {
        const config::Parameter &parameter = config::ParameterMap[item];
        if (parameter.fileKey != nullptr)
            binding::showValue(widgets[item], parameter,
                               configuration.value(config::Configuration::keyOf(parameter)));
    }
}
