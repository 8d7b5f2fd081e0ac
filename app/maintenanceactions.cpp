#include "app/talvik.h"

#include "app/progresswindow.h"
#include "maintenance/firmwareuploader.h"
#include "maintenance/moduleservice.h"
#include "ui_talvik.h"
#include "usb/modulesession.h"
#include "usb/operationprogress.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

namespace
{
// The upload's progress window, shown from the start; when the stream is
// done it is hidden and the hiding painted before the verdict is awaited.
class UploadProgress : public OperationProgress
{
public:
    explicit UploadProgress(QWidget *parent)
        : window(QCoreApplication::translate("Talvik", "Uploading Firmware..."),
                 QCoreApplication::translate("Talvik", "Cancel"), 0, 100, parent)
    {
        window.setWindowTitle(QCoreApplication::translate("Talvik", "Talvik"));
        window.setWindowModality(Qt::WindowModal);
        window.setMinimumDuration(0);
        window.show();
    }

    void setRange(int minimum, int maximum) override { window.setRange(minimum, maximum); }
    void setLabel(const QString &text) override { window.setLabelText(text); }
    void setValue(int value) override { window.setValue(value); }
    bool cancelled() override
    {
        QCoreApplication::processEvents();
        return window.wasCanceled();
    }
    void finish() override
    {
        window.hide();
        QCoreApplication::processEvents();
    }
    void hide() { window.hide(); }

private:
    ProgressWindow window;
};
} // namespace

void Talvik::uploadFirmware()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Firmware File Name"), lastDirectory,
                                                      tr("Norvale Firmware (*.bin)"));
    if (path.isEmpty())
        return;
    lastDirectory = path.left(path.lastIndexOf('/') + 1);

    const QString savedStatus = statusBar()->currentMessage();
    statusBar()->showMessage(tr("Uploading Firmware..."));
    UploadProgress progress(this);

    QString message;
    FirmwareImage image;
    if (loadFirmwareImage(path, image, message) != 0) {
        // Nothing has gone to the module, which stays as it was.
        progress.hide();
        showMessage(true, message);
        statusBar()->showMessage(savedStatus);
        return;
    }
    const int result = uploadFirmwareImage(*session, image, progress, message);
    if (result == FirmwareUploadCancelled) {
        statusBar()->showMessage(savedStatus);
    } else if (result != 0) {
        showMessage(true, message);
        // The module may have dropped off: the status tells what holds now.
        showConnectionState();
    } else {
        statusBar()->showMessage(savedStatus);
        showMessage(false, message);
    }
}

void Talvik::setModuleClock()
{
    // Taken before anything else, so the module gets the moment of the request.
    const QDateTime now = QDateTime::currentDateTime();
    // formReady is kept, though connected is never true while the window is
    // being built, so connected alone already stops the restored tick.
    if (!formReady || !connected || !ui->CheckBoxSetTime->isChecked())
        return;
    QString message;
    if (::setModuleClock(*session, now, message) != 0)
        showMessage(true, message);
}

void Talvik::on_ButtonSetSN_clicked()
{
    const ActionScope action(*this);
    bool accepted = false;
    const int serialNumber = QInputDialog::getInt(
        this, tr("Set Serial Number"), tr("Enter Serial Number"), 0, 0, 2147483647, 1, &accepted);
    if (!accepted)
        return;

    QString message;
    quint32 stored = 0;
    if (setSerialNumber(*session, static_cast<quint32>(serialNumber), stored, message) != 0) {
        showMessage(true, message);
        return;
    }
    LabelSN->setText(tr("Serial Number: ") + QString::number(stored));
    showMessage(false, message);
}

void Talvik::on_ButtonEraseLog_clicked()
{
    const ActionScope action(*this);
    QString message;
    const bool erased = eraseLog(*session, message) == 0;
    showMessage(!erased, message);
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
    if (question.clickedButton() != disable && question.clickedButton() != enable)
        return;
    QString message;
    const bool set = setCellEnabled(*session, question.clickedButton() == enable, message) == 0;
    showMessage(!set, message);
}
