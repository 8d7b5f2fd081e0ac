#include "app/talvik.h"

#include "ui_talvik.h"
#include "usb/qusbport.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSettings>

namespace
{
const char *const OrganisationName = "Norvale";
const char *const ApplicationName = "Talvik";
const char *const SetTimeKey = "SetTime";
} // namespace

Talvik::Talvik(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::TalvikClass), usbPort(nullptr), formReady(false),
      connected(false)
{
    ui->setupUi(this);
    connect(ui->actionAbout, &QAction::triggered, this, &Talvik::on_About);
    connect(ui->actionExit, &QAction::triggered, qApp, &QApplication::quit);
    ui->TabWidget->setCurrentIndex(0);

    // The order in which the action buttons are switched on and off.
    QPushButton *const buttons[ActionButtonCount] = {
        ui->ButtonUpdateFirmware, ui->ButtonDownloadFullLog, ui->ButtonDownloadPartLog,
        ui->ButtonRead,           ui->ButtonWrite,           ui->ButtonLoad,
        ui->ButtonSave,           ui->ButtonSetSN,           ui->ButtonEraseLog,
        ui->ButtonDisableCell};
    std::copy(std::begin(buttons), std::end(buttons), actionButtons);
    LabelSN = ui->LabelSN;
    LabelVer = ui->LabelVer;

    statusBar()->showMessage(tr("Disconnected"));
    readFeatureSwitches();

    usbPort = new QUSBPort();
    connect(usbPort, &QUSBPort::openPortFailed, this, &Talvik::openFailed);
    connect(usbPort, &QUSBPort::openPortSuccess, this, &Talvik::openSuccess);
    usbPort->start(QThread::InheritPriority);

    lastDirectory = QDir::homePath() + "/Documents/";

    takeAnalogChannels();
    applyAnalogType(0, 0);
    applyAnalogType(1, 0);

    ui->LabelWUPass->hide();
    ui->LabelEmailPass->hide();
    ui->LabelFTPPass->hide();

    QSettings preferences(OrganisationName, ApplicationName);
    ui->CheckBoxSetTime->setChecked(preferences.value(SetTimeKey, false).toBool());

    formReady = true;
}

Talvik::~Talvik()
{
    // hidapi must not be torn down under a running port thread.
    usbPort->stop();
    usbPort->wait();
    delete usbPort;
    delete ui;
}

void Talvik::readFeatureSwitches()
{
    QSettings switches(QCoreApplication::applicationDirPath() + "/Talvik.ini",
                       QSettings::IniFormat);
    if (!switches.value("Development", false).toBool())
        ui->ButtonSetSN->hide();
    if (!switches.value("LogErase", false).toBool())
        ui->ButtonEraseLog->hide();
}

void Talvik::setActionButtonsEnabled(bool enabled)
{
    for (QPushButton *button : actionButtons)
        button->setEnabled(enabled);
}

void Talvik::showMessage(bool failure, const QString &text)
{
    if (failure)
        QMessageBox::critical(this, tr("Talvik"), text);
    else
        QMessageBox::information(this, tr("Talvik"), text);
}

void Talvik::openFailed()
{
    connected = false;
    statusBar()->showMessage(tr("Disconnected"));
    setActionButtonsEnabled(false);
}

void Talvik::openSuccess()
{
    statusBar()->showMessage(tr("Connected"));
    connected = true;
    setModuleClock();
    setActionButtonsEnabled(true);
}

void Talvik::on_About()
{
    QMessageBox about(QMessageBox::NoIcon, tr("About Talvik"),
                      tr("Norvale Control Module Utility\nVersion: 1.0.0"), QMessageBox::Ok, this);
    about.exec();
}

void Talvik::on_ButtonDownloadFullLog_clicked()
{
    downloadLog(true);
}

void Talvik::on_ButtonDownloadPartLog_clicked()
{
    downloadLog(false);
}

void Talvik::on_ButtonUpdateFirmware_clicked()
{
    uploadFirmware();
}

void Talvik::on_CheckBoxSetTime_stateChanged(int)
{
    QSettings preferences(OrganisationName, ApplicationName);
    preferences.setValue(SetTimeKey, ui->CheckBoxSetTime->isChecked());
    setModuleClock();
    preferences.sync();
}
