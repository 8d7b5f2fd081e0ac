#include "app/talvik.h"

#include "app/progresswindow.h"
#include "config/parametermap.h"
#include "config/parameterwidgets.h"
#include "ui_talvik.h"
#include "usb/wire.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHash>
#include <QLineEdit>
#include <QMessageBox>

namespace
{

// Modules whose EEPROM layout this program knows.
constexpr int OldestEepromVersion = 4;
constexpr int NewestEepromVersion = 30;

// The identity queries are the command byte alone; the value follows the
// echoed code in the reply.
int queryIdentity(Talvik &window, wire::CommandCode code, unsigned char *reply)
{
    unsigned char request[wire::FrameSize] = {code};
    if (window.transact(request, 1, reply) <= 0 || reply[0] != code)
        return -1;
    return 0;
}

bool eepromSupported(int version)
{
    return version >= OldestEepromVersion && version <= NewestEepromVersion;
}

// Reads one item from the module into its widget; passwords are never asked for.
int readItem(Talvik &window, const config::Parameter &parameter, QWidget *widget)
{
    switch (parameter.kind) {
    case config::Kind::Float: {
        float value;
        if (window.readParamFloat(parameter.index, value) != 0)
            return -1;
        static_cast<QLineEdit *>(widget)->setText(config::floatToText(value));
        return 0;
    }
    case config::Kind::Choice: {
        int value;
        if (window.readParamInt16(parameter.index, value) != 0)
            return -1;
        auto *box = static_cast<QComboBox *>(widget);
        box->setCurrentIndex(config::choiceIndex(value, box->count()));
        return 0;
    }
    case config::Kind::Port: {
        int value;
        if (window.readParamInt16(parameter.index, value) != 0)
            return -1;
        static_cast<QLineEdit *>(widget)->setText(config::portToText(value));
        return 0;
    }
    case config::Kind::Text: {
        QString text;
        if (window.readParamString(parameter.index, text) != 0)
            return -1;
        static_cast<QLineEdit *>(widget)->setText(text);
        return 0;
    }
    case config::Kind::Password:
        break;
    }
    return -1;
}

// Sends one item of the form to the module. A blank password is not sent, so
// the module keeps the one it has.
int writeItem(Talvik &window, const config::Parameter &parameter, const QWidget *widget)
{
    switch (parameter.kind) {
    case config::Kind::Float:
        return window.writeParamFloat(
            parameter.index, config::floatFromText(static_cast<const QLineEdit *>(widget)->text()));
    case config::Kind::Choice:
        return window.writeParamInt16(
            parameter.index,
            config::choiceToWire(static_cast<const QComboBox *>(widget)->currentIndex()));
    case config::Kind::Port: {
        // The port has no key in configuration files, so after a load it is
        // empty; like a blank password it is then not sent.
        const QString port = static_cast<const QLineEdit *>(widget)->text();
        return port.isEmpty() ? 0
                              : window.writeParamInt16(parameter.index, config::portToWire(port));
    }
    case config::Kind::Text:
        return window.writeParamString(parameter.index,
                                       static_cast<const QLineEdit *>(widget)->text());
    case config::Kind::Password: {
        const QString password = static_cast<const QLineEdit *>(widget)->text();
        return password.isEmpty() ? 0 : window.writeParamString(parameter.index, password);
    }
    }
    return -1;
}

bool hiddenByPresentation(const QWidget *field)
{
    return field->isHidden() && field->testAttribute(Qt::WA_WState_ExplicitShowHide);
}

// Names the first field, in map order, whose text the module would get
// wrong: a Float that is no real number (sent as 0, or as inf or NaN), a Port
// that is no 16-bit number, a text with characters the module cannot store.
// Rows the analog presentation hides go out as they always did.
QString unsendableField(const Ui::TalvikClass &form, const QVector<QWidget *> &widgets)
{
    for (int item = 0; item < config::ParameterCount; ++item) {
        const config::Parameter &parameter = config::ParameterMap[item];
        if (parameter.kind == config::Kind::Choice || hiddenByPresentation(widgets[item]))
            continue;
        const QString text = static_cast<const QLineEdit *>(widgets[item])->text();
        QString problem;
        if (parameter.kind == config::Kind::Float && !config::floatTextIsSendable(text))
            problem = Talvik::tr("The field \"%1\" on the page \"%2\" needs a real number.");
        else if (parameter.kind == config::Kind::Port && !text.isEmpty() &&
                 !config::portTextIsSendable(text))
            problem = Talvik::tr("The field \"%1\" on the page \"%2\" needs a port number from 0 "
                                 "to 65535, or nothing to keep the port of the unit.");
        else if ((parameter.kind == config::Kind::Text ||
                  parameter.kind == config::Kind::Password) &&
                 !config::textIsSendable(text))
            problem = Talvik::tr("The field \"%1\" on the page \"%2\" holds characters that the "
                                 "unit cannot store.");
        if (!problem.isEmpty())
            return problem.arg(config::fieldName(form, widgets[item]),
                               config::pageTitle(form, widgets[item])) +
                   QLatin1Char(' ') + Talvik::tr("Nothing was written to the unit.");
    }
    return QString();
}

} // namespace

void Talvik::on_ButtonRead_clicked()
{
    const ActionScope action(*this);
    const QVector<QWidget *> widgets = config::parameterWidgets(*ui);
    const QHash<QWidget *, QLineEdit *> verifyFields = {
        {ui->LineEditWUPass, ui->LineEditWUPassVer},
        {ui->LineEditEmailPass, ui->LineEditEmailPassVer},
        {ui->LineEditFTPPass, ui->LineEditFTPPassVer},
    };

    // Three identity steps, then one step per item the module is asked for.
    ProgressWindow progress(tr("Reading Settings..."), QString(), 0,
                            config::readableParameterCount() + 2, this);
    progress.setWindowTitle(tr("Talvik"));
    progress.setWindowModality(Qt::WindowModal);
    progress.show();

    unsigned char reply[wire::FrameSize];
    if (queryIdentity(*this, wire::SerialNumber, reply) != 0) {
        showMessage(true, tr("Failed to get serial number."));
        return;
    }
    ui->LabelSN->setText(tr("Serial Number: ") + QString::number(getUInt32BE(reply + 1)));
    progress.setValue(0);
    QCoreApplication::processEvents();

    if (queryIdentity(*this, wire::SoftwareVersion, reply) != 0) {
        showMessage(true, tr("Failed to get software version."));
        return;
    }
    ui->LabelVer->setText(tr("Software Version: ") + QString::number(getInt16BE(reply + 1)));
    progress.setValue(1);
    QCoreApplication::processEvents();

    if (queryIdentity(*this, wire::EepromVersion, reply) != 0) {
        showMessage(true, tr("Failed to get eeprom version."));
        return;
    }
    if (!eepromSupported(getInt16BE(reply + 1))) {
        showMessage(true, tr("Incompatable Firmware Version."));
        return;
    }
    int step = 2;
    progress.setValue(step);
    QCoreApplication::processEvents();

    bool failed = false;
    for (int item = 0; item < config::ParameterCount; ++item) {
        const config::Parameter &parameter = config::ParameterMap[item];
        if (parameter.kind == config::Kind::Password) {
            // Passwords cannot be read back; a blank field later writes nothing.
            static_cast<QLineEdit *>(widgets[item])->clear();
            if (QLineEdit *verify = verifyFields.value(widgets[item], nullptr))
                verify->clear();
            continue;
        }
        if (readItem(*this, parameter, widgets[item]) != 0) {
            failed = true;
            break;
        }
        progress.setValue(++step);
        QCoreApplication::processEvents();
    }

    progress.hide();
    progress.close();
    QCoreApplication::processEvents();
    if (failed)
        showMessage(true, tr("Failed to read settings."));
    else
        showMessage(false, tr("Settings read from unit."));
}

void Talvik::on_ButtonWrite_clicked()
{
    const ActionScope action(*this);
    struct PasswordPair {
        const QLineEdit *password;
        const QLineEdit *verify;
        QString mismatch;
    };
    const PasswordPair pairs[] = {
        {ui->LineEditWUPass, ui->LineEditWUPassVer,
         tr("ERROR: Weather Underground Passwords do not match!")},
        {ui->LineEditEmailPass, ui->LineEditEmailPassVer,
         tr("ERROR: Email Passwords do not match!")},
        {ui->LineEditFTPPass, ui->LineEditFTPPassVer, tr("ERROR: FTP Passwords do not match!")},
    };
    for (const PasswordPair &pair : pairs) {
        if (pair.password->text() != pair.verify->text()) {
            showMessage(true, pair.mismatch);
            return;
        }
    }
    const QString unsendable = unsendableField(*ui, config::parameterWidgets(*ui));
    if (!unsendable.isEmpty()) {
        showMessage(true, unsendable);
        return;
    }

    QMessageBox confirmation(QMessageBox::Critical, tr("Talvik"),
                             tr("Are you sure you want to overwrite settings on unit?"),
                             QMessageBox::Ok | QMessageBox::Cancel, this);
    if (confirmation.exec() != QMessageBox::Ok) {
        QCoreApplication::processEvents();
        showMessage(true, tr("Failed to write settings."));
        return;
    }

    const QVector<QWidget *> widgets = config::parameterWidgets(*ui);
    ProgressWindow progress(tr("Writing Settings..."), QString(), 0, config::ParameterCount, this);
    progress.setWindowTitle(tr("Talvik"));
    progress.setWindowModality(Qt::WindowModal);
    progress.show();

    unsigned char reply[wire::FrameSize];
    if (queryIdentity(*this, wire::EepromVersion, reply) != 0) {
        showMessage(true, tr("Failed to get eeprom version."));
        return;
    }
    if (!eepromSupported(getInt16BE(reply + 1))) {
        showMessage(true, tr("Incompatable Firmware Version."));
        return;
    }
    progress.setValue(0);
    QCoreApplication::processEvents();

    for (int item = 0; item < config::ParameterCount; ++item) {
        if (writeItem(*this, config::ParameterMap[item], widgets[item]) != 0) {
            // What was written stays written; the rest is not sent.
            progress.close();
            QCoreApplication::processEvents();
            showMessage(true, tr("Failed to write settings."));
            return;
        }
        progress.setValue(item + 1);
        QCoreApplication::processEvents();
    }

    progress.setValue(config::ParameterCount);
    QCoreApplication::processEvents();
    progress.hide();
    progress.close();
    QCoreApplication::processEvents();
    showMessage(false, tr("Settings written to unit."));
}
