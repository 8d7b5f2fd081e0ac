#include "app/talvik.h"

#include "ui_talvik.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>

#include <initializer_list>

namespace
{

enum AnalogType { TypeNone = 0, SoilTemperature, SoilMoisture, SolarRadiation, Custom };

// Coefficient fields show at most 7 significant digits, as when read from
// the module.
QString coefficientText(double value)
{
    return QString::number(value, 'g', 7);
}

} // namespace

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
    const AnalogChannel &c = analog[channel];
    QLabel *const extraLabels[] = {c.labelC, c.labelD, c.labelRef};
    QLineEdit *const extraFields[] = {c.fieldC, c.fieldD, c.fieldRef};

    // Globe temperature has no presentation of its own, and an empty
    // selection (-1) has none either: the channel stays as it was.
    switch (type) {
    case TypeNone:
        // Only visibility changes: the hidden fields keep their texts and the
        // units box its items and selection.
        c.unitsLabel->hide();
        c.units->hide();
        c.unitsText->hide();
        for (QWidget *w : {c.labelA, c.labelB, c.labelC, c.labelD, c.labelRef})
            w->hide();
        for (QWidget *w : {c.fieldA, c.fieldB, c.fieldC, c.fieldD, c.fieldRef})
            w->hide();
        return;

    case SoilTemperature:
        c.unitsLabel->show();
        c.units->show();
        c.units->clear();
        c.units->addItem(QString(QChar(0x00B0)) + 'C');
        c.units->addItem(QString(QChar(0x00B0)) + 'F');
        c.unitsText->hide();
        c.labelA->setText("A:");
        c.labelA->show();
        c.fieldA->show();
        c.labelB->setText("B:");
        c.labelB->show();
        c.fieldB->show();
        c.labelC->setText("C:");
        c.labelD->setText("D:");
        c.labelRef->setText("Ref:");
        for (int row = 0; row < 3; ++row) {
            extraLabels[row]->show();
            extraFields[row]->show();
        }
        c.units->setCurrentIndex(0);
        // Thermistor coefficients of the soil probe (Steinhart-Hart form).
        c.fieldA->setText(coefficientText(0.0011164014655));
        c.fieldB->setText(coefficientText(0.000237982973213));
        c.fieldC->setText(coefficientText(-3.72283234e-07));
        c.fieldD->setText(coefficientText(9.9063233e-08));
        c.fieldRef->setText(coefficientText(10000));
        return;

    case SoilMoisture:
    case SolarRadiation:
        c.unitsLabel->show();
        c.units->show();
        c.units->clear();
        c.units->addItem(type == SoilMoisture ? "%" : "W/m^2");
        c.unitsText->hide();
        break;

    case Custom:
        // The units box keeps its items and selection behind the free text.
        c.unitsLabel->show();
        c.units->hide();
        c.unitsText->show();
        c.unitsText->setText(QString());
        break;

    default:
        return;
    }

    // Soil moisture, solar radiation and custom: a straight line.
    c.labelA->setText("Slope:");
    c.labelA->show();
    c.fieldA->show();
    c.labelB->setText("Offset:");
    c.labelB->show();
    c.fieldB->show();
    for (int row = 0; row < 3; ++row) {
        extraLabels[row]->hide();
        extraFields[row]->hide();
    }
    if (type != Custom)
        c.units->setCurrentIndex(0);

    double slope = 1;
    double offset = 0;
    if (type == SoilMoisture) {
        slope = 1.19;
        offset = -0.4;
    } else if (type == SolarRadiation) {
        slope = 5000;
    }
    c.fieldA->setText(coefficientText(slope));
    c.fieldB->setText(coefficientText(offset));
    for (QLineEdit *field : extraFields)
        field->setText("0");
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
