#include "app/talvik.h"

#include "config/analogrule.h"
#include "ui_talvik.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>

#include <initializer_list>

void Talvik::takeAnalogChannels()
{
    analog[0] = {ui->ComboBoxAN1Type, ui->LabelAN1Units, ui->ComboBoxAN1Units, ui->LineEditAN1Units,
                 ui->LabelAN1A,       ui->LabelAN1B,     ui->LabelAN1C,        ui->LabelAN1D,
                 ui->LabelAN1Ref,     ui->LineEditAN1A,  ui->LineEditAN1B,     ui->LineEditAN1C,
                 ui->LineEditAN1D,    ui->LineEditAN1Ref};
    analog[1] = {ui->ComboBoxAN2Type, ui->LabelAN2Units, ui->ComboBoxAN2Units, ui->LineEditAN2Units,
                 ui->LabelAN2A,       ui->LabelAN2B,     ui->LabelAN2C,        ui->LabelAN2D,
                 ui->LabelAN2Ref,     ui->LineEditAN2A,  ui->LineEditAN2B,     ui->LineEditAN2C,
                 ui->LineEditAN2D,    ui->LineEditAN2Ref};
}

void Talvik::applyAnalogType(int channel, int type)
{
    if (channel < 0 || channel >= AnalogChannelCount)
        return;
    // Globe temperature has no presentation of its own, and an empty
    // selection (-1) has none either: the channel stays as it was.
    const config::AnalogRule *rule = config::analogRule(type);
    if (rule == nullptr)
        return;
    const AnalogChannel &c = analog[channel];
    QLabel *const extraLabels[] = {c.labelC, c.labelD, c.labelRef};
    QLineEdit *const extraFields[] = {c.fieldC, c.fieldD, c.fieldRef};

    // A type that fills no units box leaves its items and selection as they
    // are, shown or hidden; so does a hidden field keep its text.
    c.unitsLabel->setVisible(rule->unitsRowShown());
    c.units->setVisible(rule->unitsBoxShown);
    if (rule->unitItemCount > 0) {
        c.units->clear();
        for (int item = 0; item < rule->unitItemCount; ++item)
            c.units->addItem(QString::fromUtf8(rule->unitItems[item]));
    }
    c.unitsText->setVisible(rule->unitsTextShown);
    if (rule->emptiesUnitsText)
        c.unitsText->setText(QString());

    if (rule->labelA != nullptr)
        c.labelA->setText(QString::fromLatin1(rule->labelA));
    if (rule->labelB != nullptr)
        c.labelB->setText(QString::fromLatin1(rule->labelB));
    for (QWidget *w : std::initializer_list<QWidget *>{c.labelA, c.fieldA, c.labelB, c.fieldB})
        w->setVisible(rule->slopeRowsShown);
    if (rule->extraRowsShown) {
        c.labelC->setText("C:");
        c.labelD->setText("D:");
        c.labelRef->setText("Ref:");
    }
    for (int row = 0; row < 3; ++row) {
        extraLabels[row]->setVisible(rule->extraRowsShown);
        extraFields[row]->setVisible(rule->extraRowsShown);
    }
    if (rule->unitItemCount > 0)
        c.units->setCurrentIndex(0);

    if (!rule->setsCoefficients)
        return;
    QLineEdit *const fields[] = {c.fieldA, c.fieldB, c.fieldC, c.fieldD, c.fieldRef};
    for (int row = 0; row < 5; ++row)
        fields[row]->setText(config::coefficientText(rule->coefficients[row]));
}

void Talvik::checkPasswordPair(QLineEdit *password, QLineEdit *verify, QLabel *warning)
{
    // Only a hint; the write to the module compares the pair again.
    warning->setVisible(password->text() != verify->text());
}

void Talvik::on_ComboBoxAN1Type_currentIndexChanged(int index)
{
    applyAnalogType(0, index);
}

void Talvik::on_ComboBoxAN2Type_currentIndexChanged(int index)
{
    applyAnalogType(1, index);
}

void Talvik::on_LineEditWUPass_textChanged(const QString &)
{
    checkPasswordPair(ui->LineEditWUPass, ui->LineEditWUPassVer, ui->LabelWUPass);
}

void Talvik::on_LineEditWUPassVer_textChanged(const QString &)
{
    checkPasswordPair(ui->LineEditWUPass, ui->LineEditWUPassVer, ui->LabelWUPass);
}

void Talvik::on_LineEditEmailPass_textChanged(const QString &)
{
    checkPasswordPair(ui->LineEditEmailPass, ui->LineEditEmailPassVer, ui->LabelEmailPass);
}

void Talvik::on_LineEditEmailPassVer_textChanged(const QString &)
{
    checkPasswordPair(ui->LineEditEmailPass, ui->LineEditEmailPassVer, ui->LabelEmailPass);
}

void Talvik::on_LineEditFTPPass_textChanged(const QString &)
{
    checkPasswordPair(ui->LineEditFTPPass, ui->LineEditFTPPassVer, ui->LabelFTPPass);
}

void Talvik::on_LineEditFTPPassVer_textChanged(const QString &)
{
    checkPasswordPair(ui->LineEditFTPPass, ui->LineEditFTPPassVer, ui->LabelFTPPass);
}
