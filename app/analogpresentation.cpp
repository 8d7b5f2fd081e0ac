#include "app/talvik.h"

#include "ui_talvik.h"

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

void Talvik::applyAnalogType(int, int) {}

void Talvik::checkPasswordPair(QLineEdit *, QLineEdit *, QLabel *) {}

void Talvik::on_ComboBoxAN1Type_currentIndexChanged(int) {}
void Talvik::on_ComboBoxAN2Type_currentIndexChanged(int) {}
void Talvik::on_LineEditWUPass_textChanged(const QString &) {}
void Talvik::on_LineEditWUPassVer_textChanged(const QString &) {}
void Talvik::on_LineEditEmailPass_textChanged(const QString &) {}
void Talvik::on_LineEditEmailPassVer_textChanged(const QString &) {}
void Talvik::on_LineEditFTPPass_textChanged(const QString &) {}
void Talvik::on_LineEditFTPPassVer_textChanged(const QString &) {}
