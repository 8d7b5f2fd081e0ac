#include "app/talvik.h"

#include "app/archivesync.h"
#include "app/connectionhelp.h"
#include "app/logviewer.h"
#include "app/stationarchive.h"
#include "app/visitrecorder.h"
#include "core/operationresult.h"
#include "core/switchesfile.h"
#include "ui_talvik.h"
#include "usb/modulesession.h"
#include "usb/qusbport.h"

#include <QApplication>
#include <QDir>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>

namespace
{
const char *const OrganisationName = "Norvale";
const char *const ApplicationName = "Talvik";
const char *const SetTimeKey = "SetTime";
} // namespace

Talvik::Talvik(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::TalvikClass), usbPort(nullptr), session(nullptr),
      formReady(false), connected(false), actionRunning(false), clockPending(false)
{
    ui->setupUi(this);
    connect(ui->actionAbout, &QAction::triggered, this, &Talvik::on_About);
    connect(ui->actionExit, &QAction::triggered, qApp, &QApplication::quit);
    // Tools sits between File and the Help menu that ConnectionHelp adds.
    QMenu *tools = menuBar()->addMenu(tr("Tools"));
    tools->setObjectName("menuTools");
    QAction *viewLogAction = tools->addAction(tr("View Log…"));
    viewLogAction->setObjectName("actionViewLog");
    connect(viewLogAction, &QAction::triggered, this, &Talvik::viewLog);
    stationArchive = new StationArchive(this, tools);
    auto *archiveSync = new ArchiveSync(this, tools, *stationArchive);
    archiveSync->setHistoryOpener([this](quint32 serial) {
        if (logViewer == nullptr)
            logViewer = new LogViewer(this);
        logViewer->show();
        logViewer->raise();
        logViewer->openStation(serial);
    });
    tools->addSeparator();
    visits = new VisitRecorder(this, tools, *stationArchive);
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
    session = new ModuleSession(*usbPort);
    connect(usbPort, &QUSBPort::openPortFailed, this, &Talvik::openFailed);
    connect(usbPort, &QUSBPort::openPortSuccess, this, &Talvik::openSuccess);
    // Why the module is not connected, in the status bar and the Help menu.
    new ConnectionHelp(this, usbPort);
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
    // The port stops its thread and waits for it before it goes.
    delete session;
    delete usbPort;
    delete ui;
}

void Talvik::readFeatureSwitches()
{
    if (!SwitchesFile::isOn("Development"))
        ui->ButtonSetSN->hide();
    if (!SwitchesFile::isOn("LogErase"))
        ui->ButtonEraseLog->hide();
}

void Talvik::setActionButtonsEnabled(bool enabled)
{
    for (QPushButton *button : actionButtons)
        button->setEnabled(enabled);
}

void Talvik::showConnectionState()
{
    statusBar()->showMessage(usbPort->isDeviceOpen() ? tr("Connected") : tr("Disconnected"));
}

void Talvik::showResult(const OperationResult &result)
{
    showMessage(result.failed(), result.message());
}

void Talvik::showMessage(bool failure, const QString &text)
{
    if (failure)
        QMessageBox::critical(this, tr("Talvik"), text);
    else
        QMessageBox::information(this, tr("Talvik"), text);
}

Talvik::ActionScope::ActionScope(Talvik &owner) : window(owner), nested(owner.actionRunning)
{
    window.actionRunning = true;
    window.updateActionButtons();
}

Talvik::ActionScope::~ActionScope()
{
    if (nested)
        return;
    window.setClockForReconnections();
    window.actionRunning = false;
    window.updateActionButtons();
}

void Talvik::updateActionButtons()
{
    setActionButtonsEnabled(connected && !actionRunning);
}

// Runs while actionRunning is still set, so that a reconnection reported
// during one of these exchanges only asks for the next one. The station's
// identity is asked after the clock set of its connection.
void Talvik::setClockForReconnections()
{
    while (clockPending || (connected && stationArchive->identityDue())) {
        if (clockPending) {
            clockPending = false;
            setModuleClock();
            continue;
        }
        const ActionScope identityAsk(*this);
        stationArchive->askIdentity(*session);
    }
}

void Talvik::openFailed()
{
    connected = false;
    stationArchive->connectionLost();
    statusBar()->showMessage(tr("Disconnected"));
    updateActionButtons();
}

void Talvik::openSuccess()
{
    statusBar()->showMessage(tr("Connected"));
    connected = true;
    clockPending = true;
    stationArchive->connectionOpened();
    // During an action, or during the clock set of an earlier connection
    // (its reply wait lets this slot run again), the clock waits its turn.
    if (actionRunning)
        return;
    const ActionScope clockSet(*this);
    setClockForReconnections();
}

void Talvik::on_About()
{
    QMessageBox about(QMessageBox::NoIcon, tr("About Talvik"),
                      tr("Norvale Control Module Utility\nVersion: 1.0.0"), QMessageBox::Ok, this);
    about.exec();
}

void Talvik::on_ButtonDownloadFullLog_clicked()
{
    const ActionScope action(*this);
    downloadLog(true);
}

void Talvik::on_ButtonDownloadPartLog_clicked()
{
    const ActionScope action(*this);
    downloadLog(false);
}

void Talvik::on_ButtonUpdateFirmware_clicked()
{
    const ActionScope action(*this);
    uploadFirmware();
}

void Talvik::on_CheckBoxSetTime_stateChanged(int)
{
    QSettings preferences(OrganisationName, ApplicationName);
    preferences.setValue(SetTimeKey, ui->CheckBoxSetTime->isChecked());
    setModuleClock();
    preferences.sync();
}
