#ifndef TALVIK_H
#define TALVIK_H

#include <QMainWindow>
#include <QString>

class OperationResult;
class QComboBox;
class QLabel;
class QLineEdit;
class LogViewer;
class StationArchive;
class VisitRecorder;
class QPushButton;
class ModuleSession;
class QUSBPort;

namespace Ui
{
class TalvikClass;
}

// The main window: every user action is one of its slots, every operation on
// the module one of its member functions. They bind the form, the dialogs and
// the status bar to the core without widgets (usb/, config/, log/,
// maintenance/), which talvik-cli shares; the definitions are in
// app/moduleprotocol.cpp, configactions.cpp, logactions.cpp,
// maintenanceactions.cpp and analogpresentation.cpp.
class Talvik : public QMainWindow
{
    Q_OBJECT

public:
    explicit Talvik(QWidget *parent = nullptr);
    ~Talvik() override;

    // The ten action buttons, in the order the window switches them.
    void setActionButtonsEnabled(bool enabled);

private slots:
    void openFailed();
    void openSuccess();
    void on_About();
    void on_ButtonDownloadFullLog_clicked();
    void on_ButtonDownloadPartLog_clicked();
    void on_ButtonRead_clicked();
    void on_ButtonWrite_clicked();
    void on_ButtonLoad_clicked();
    void on_ButtonSave_clicked();
    void on_ButtonSetSN_clicked();
    void on_ButtonEraseLog_clicked();
    void on_ButtonUpdateFirmware_clicked();
    void on_ButtonDisableCell_clicked();
    void on_ComboBoxAN1Type_currentIndexChanged(int index);
    void on_ComboBoxAN2Type_currentIndexChanged(int index);
    void on_LineEditWUPass_textChanged(const QString &text);
    void on_LineEditWUPassVer_textChanged(const QString &text);
    void on_LineEditEmailPass_textChanged(const QString &text);
    void on_LineEditEmailPassVer_textChanged(const QString &text);
    void on_LineEditFTPPass_textChanged(const QString &text);
    void on_LineEditFTPPassVer_textChanged(const QString &text);
    void on_CheckBoxSetTime_stateChanged(int state);

private:
    // Held by every exchange with the module that the window starts, for as
    // long as it runs: the actions and the clock sets. The action buttons are
    // on exactly when the module is connected and no action runs, and a clock
    // set asked for by a reconnection meanwhile waits until the action ends,
    // so that its frame never mixes with the action's exchange.
    class ActionScope
    {
    public:
        explicit ActionScope(Talvik &window);
        ~ActionScope();
        ActionScope(const ActionScope &) = delete;
        ActionScope &operator=(const ActionScope &) = delete;

    private:
        Talvik &window;
        const bool nested;
    };

    // --- module command protocol (app/moduleprotocol.cpp, over usb/modulesession) ---
    // Flush, write, read one 64-byte reply; once more only when nothing at
    // all came. Returns the number of reply bytes of the last attempt.
    int transact(const unsigned char *request, int requestLength, unsigned char *reply);
    int readParamFloat(int parameterIndex, float &value);
    int writeParamFloat(int parameterIndex, float value);
    int readParamInt16(int parameterIndex, int &value);
    int writeParamInt16(int parameterIndex, int value);
    int readParamString(int parameterIndex, QString &text);
    int writeParamString(int parameterIndex, const QString &text);

    // --- analog channels and password pairs (app/analogpresentation.cpp) ---
    void applyAnalogType(int channel, int type);

    // --- data log (app/logactions.cpp, over log/) ---
    void downloadLog(bool full);
    // Tools > View Log: the viewer, on this session's last download if any
    // (app/logviewer.cpp).
    void viewLog();
    // Writes slots 0 .. recordCount - 1 of the log store as the measurement
    // file and its "-system" companion; 0 when both were written, -1 (after
    // telling the user) when either could not be.
    int writeLogCsv(const QString &fileName, quint32 recordCount, quint32 retryCount, bool withSoil,
                    bool withSolvane, bool withGlobeTemp1, bool withGlobeTemp2);

    // --- maintenance (app/maintenanceactions.cpp, over maintenance/) ---
    void uploadFirmware();
    void setModuleClock();

    static constexpr int ActionButtonCount = 10;
    static constexpr int AnalogChannelCount = 2;

    // The widgets of one analog channel below its type box.
    struct AnalogChannel {
        QComboBox *type;
        QLabel *unitsLabel;
        QComboBox *units;
        QLineEdit *unitsText;
        QLabel *labelA, *labelB, *labelC, *labelD, *labelRef;
        QLineEdit *fieldA, *fieldB, *fieldC, *fieldD, *fieldRef;
    };

    void readFeatureSwitches();
    void takeAnalogChannels();
    void checkPasswordPair(QLineEdit *password, QLineEdit *verify, QLabel *warning);
    void showMessage(bool failure, const QString &text);
    // A message box with the result's text: critical for a failure.
    void showResult(const OperationResult &result);
    // After an action that failed: the status bar shows whether the port
    // holds the module open now, never a text saved before the module left.
    void showConnectionState();
    void updateActionButtons();
    // The clock sets and identity questions that connections asked for.
    void setClockForReconnections();

    Ui::TalvikClass *ui;
    QUSBPort *usbPort;
    ModuleSession *session;
    QString lastDirectory;
    bool formReady;
    bool connected;
    bool actionRunning;
    // A connection was reported while an action ran; its clock set is due.
    bool clockPending;
    QPushButton *actionButtons[ActionButtonCount];
    QLabel *LabelSN;
    QLabel *LabelVer;
    AnalogChannel analog[AnalogChannelCount];
    // The measurement file of the last download that wrote both files.
    QString lastLogFile;
    LogViewer *logViewer = nullptr;
    // The station archive's switch, status and records (app/stationarchive.cpp).
    StationArchive *stationArchive = nullptr;
    // The technician's visit, kept in the archive (app/visitrecorder.cpp).
    VisitRecorder *visits = nullptr;
};

#endif
