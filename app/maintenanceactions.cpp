#include "app/talvik.h"

#include "app/stationarchive.h"
#include "app/visitrecorder.h"
#include "app/windowprogress.h"
#include "maintenance/firmwareuploader.h"
#include "maintenance/moduleservice.h"
#include "ui_talvik.h"
#include "usb/modulesession.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

void Talvik::uploadFirmware()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Firmware File Name"), lastDirectory,
                                                      tr("Norvale Firmware (*.bin)"));
    if (path.isEmpty())
        return;
    lastDirectory = path.left(path.lastIndexOf('/') + 1);

    const QString savedStatus = statusBar()->currentMessage();
    statusBar()->showMessage(tr("Uploading Firmware..."));
    // Shown from the start; when the stream is done it is hidden, and the
    // hiding painted, before the verdict is awaited.
    WindowProgress progress(tr("Uploading Firmware..."), tr("Cancel"),
                            WindowProgress::OnFinish::Hide, this);
    progress.setRange(0, 100);

    FirmwareImage image;
    const OperationResult loaded = loadFirmwareImage(path, image);
    if (loaded.failed()) {
        visits->firmwareUploaded(path, 0, 0, loaded);
        // Nothing has gone to the module, which stays as it was.
        progress.hide();
        showResult(loaded);
        statusBar()->showMessage(savedStatus);
        return;
    }
    const OperationResult uploaded = uploadFirmwareImage(*session, image, progress);
    visits->firmwareUploaded(path, image.size, image.checksum, uploaded);
    if (uploaded.reason() == OperationResult::Reason::Cancelled) {
        statusBar()->showMessage(savedStatus);
    } else if (uploaded.failed()) {
        showResult(uploaded);
        // The module may have dropped off: the status tells what holds now.
        showConnectionState();
    } else {
        statusBar()->showMessage(savedStatus);
        showResult(uploaded);
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
    // Also when the clock box is ticked: no other exchange may mix with it.
    const ActionScope clockSet(*this);
    const OperationResult set = ::setModuleClock(*session, now);
    visits->clockSet(now, set);
    if (set.failed())
        showResult(set);
}

void Talvik::on_ButtonSetSN_clicked()
{
    const ActionScope action(*this);
    bool accepted = false;
    const int serialNumber = QInputDialog::getInt(
        this, tr("Set Serial Number"), tr("Enter Serial Number"), 0, 0, 2147483647, 1, &accepted);
    if (!accepted)
        return;

    quint32 stored = 0;
    const OperationResult set =
        setSerialNumber(*session, static_cast<quint32>(serialNumber), stored);
    visits->serialSet(set.succeeded() ? stored : quint32(serialNumber), set);
    if (set.succeeded()) {
        LabelSN->setText(tr("Serial Number: ") + QString::number(stored));
        stationArchive->serialSet(stored);
    }
    showResult(set);
}

void Talvik::on_ButtonEraseLog_clicked()
{
    const ActionScope action(*this);
    const OperationResult erased = eraseLog(*session);
    visits->logErased(erased);
    showResult(erased);
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
    const bool enabling = question.clickedButton() == enable;
    const OperationResult switched = setCellEnabled(*session, enabling);
    visits->cellSwitched(enabling, switched);
    showResult(switched);
}
