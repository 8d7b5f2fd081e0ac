#include "app/talvik.h"

#include "maintenance/firmwareimage.h"
#include "ui_talvik.h"
#include "usb/wire.h"

#include <QDateTime>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace
{
// The module's 16-bit parameter that switches its cell modem: 1 disables it.
constexpr int CellDisableParameter = 240;
} // namespace

void Talvik::setModuleClock()
{
    // Taken before anything else, so the module gets the moment of the request.
    const QDateTime now = QDateTime::currentDateTime();
    // formReady is kept, though connected is never true while the window is
    // being built, so connected alone already stops the restored tick.
    if (!formReady || !connected || !ui->CheckBoxSetTime->isChecked())
        return;

    unsigned char frame[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = maintenance::buildClockFrame(frame, now);
    if (transactOnce(frame, length, reply) == 0 || reply[0] != wire::SetClock)
        showMessage(true, tr("Failed to set time."));
}

void Talvik::on_ButtonSetSN_clicked()
{
    const ActionScope action(*this);
    bool accepted = false;
    const int serialNumber = QInputDialog::getInt(
        this, tr("Set Serial Number"), tr("Enter Serial Number"), 0, 0, 2147483647, 1, &accepted);
    if (!accepted)
        return;

    unsigned char frame[wire::FrameSize];
    unsigned char reply[wire::FrameSize];
    const int length = maintenance::buildSerialSetFrame(frame, static_cast<quint32>(serialNumber));
    if (transactOnce(frame, length, reply) == 0 || reply[0] != wire::SerialNumber) {
        showMessage(true, tr("Failed to set serial number."));
        return;
    }

    // Show what the module now holds, not what was typed.
    const unsigned char query = wire::SerialNumber;
    if (transact(&query, 1, reply) == 0 || reply[0] != wire::SerialNumber) {
        showMessage(true, tr("Failed to get serial number."));
        return;
    }
    LabelSN->setText(tr("Serial Number: ") + QString::number(getUInt32BE(reply + 1)));
    showMessage(false, tr("Serial Number set."));
}

void Talvik::on_ButtonEraseLog_clicked()
{
    const ActionScope action(*this);
    const unsigned char frame = wire::LogErase;
    unsigned char reply[wire::FrameSize];
    if (transactOnce(&frame, 1, reply) == 0 || reply[0] != wire::LogErase)
        showMessage(true, tr("Failed to erase log."));
    else
        showMessage(false, tr("Log erased."));
}

void Talvik::on_ButtonDisableCell_clicked()
{
    const ActionScope action(*this);
    QMessageBox question(QMessageBox::Question, tr("Talvik"), tr("Enable cell phone?"),
                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QAbstractButton *enable = question.button(QMessageBox::Yes);
    QAbstractButton *disable = question.button(QMessageBox::No);
    enable->setText(tr("Enable"));
    disable->setText(tr("Disable"));
    question.setDefaultButton(QMessageBox::Yes);
    question.exec();

    // Cancel and Escape leave the module alone.
    int value;
    if (question.clickedButton() == disable)
        value = 1;
    else if (question.clickedButton() == enable)
        value = 0;
    else
        return;

    if (writeParamInt16(CellDisableParameter, value) != 0)
        showMessage(true, tr("Failed to set Cell Enable/Disable."));
    else if (value == 1)
        showMessage(false, tr("Cell phone disabled.\r\nPlease reset Control Module for change to "
                              "take effect."));
    else
        showMessage(false, tr("Cell phone enabled.\r\nPlease reset Control Module for change to "
                              "take effect."));
}
