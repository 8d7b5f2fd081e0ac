#ifndef QUSBPORT_H
#define QUSBPORT_H

#include <QMetaType>
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>
#include <mutex>

class QLockFile;

struct hid_device_;

// The program's only link to the Control Module. The thread keeps the module
// open, copies its input reports into ReceiveRing and reopens it whenever it
// is lost; the GUI thread talks to it through flush, writeFrame and readBytes.
class QUSBPort : public QThread
{
    Q_OBJECT
public:
    static constexpr unsigned short VendorId = 0x04D8;
    static constexpr unsigned short ProductId = 0xF747;
    // Two whole batches of 128 records (2 x 16 KiB), so a GUI thread that
    // falls behind for a moment loses nothing of a log download.
    static constexpr int RingSize = 32768;
    static constexpr int ReportSize = 65;
    static constexpr int ReportDataSize = 64;
    static constexpr int ReadTimeoutMs = 10;
    static constexpr int OpenRetryMs = 500;
    // A module lost again within this time of being opened is reopened no
    // sooner than this time after that open, so one that fails every read
    // is opened at most twice a second. The first reopen after a module
    // that worked for a while is immediate.
    static constexpr int ReopenGuardMs = 500;

    // Why the last open attempt failed, as the bus told the port thread.
    struct OpenFailure {
        enum Kind {
            NoModule,         // no 04D8:F747 device on the bus
            PermissionDenied, // present, but this user may not open its node
            OtherError,       // present, and could not be opened for another reason
            InUse,            // another Talvik holds the module's lock
        };
        Kind kind = NoModule;
        QString node;      // the device node found, e.g. /dev/hidraw3
        QString error;     // hidapi's text for the failed open
        qint64 holder = 0; // InUse: the process id of the Talvik that has the module
        // One line for the technician, as plain text.
        QString reason() const;
    };

    // hidraw hands every input report to every program that has the node
    // open, so two Talviks on one module would read each other's replies.
    // Each port therefore holds this file locked exactly while it has the
    // module open; its runtime folder is the user's, so the window and a
    // talvik-cli run from a timer find the same file.
    static QString lockFilePath();

    explicit QUSBPort(QObject *parent = nullptr);
    ~QUSBPort() override;

    void flush();
    int writeFrame(const unsigned char *data, int length);
    int readBytes(unsigned char *destination, int length, int count);

    // Asks run to return at its next check; the owner then waits for it.
    void stop();

    // Whether the thread holds the module open right now.
    bool isDeviceOpen() const;
    // How many input reports lost at least one byte to a full ring since the
    // port was made. A reader compares two readings: any change means the
    // byte stream it took in between may be misaligned.
    int droppedReports() const;

signals:
    void dataReady();
    void openPortFailed();
    void openPortSuccess();
    // Follows every openPortFailed that comes from a failed open attempt.
    void openFailureFound(const QUSBPort::OpenFailure &failure);

protected:
    void run() override;

private:
    bool ringFull() const;
    bool storeByte(unsigned char byte);
    // Takes the module's lock; false with the holder's process id when
    // another live process has it.
    bool lockModule(qint64 &holder);
    void closeDevice();
    // Asks the bus why hid_open just failed; call before any other hidapi
    // function, which would replace the error text.
    OpenFailure findOpenFailure() const;

    unsigned char ReceiveRing[RingSize];
    std::atomic<int> head;
    std::atomic<int> tail;
    std::atomic<bool> running;
    hid_device_ *device;
    std::unique_ptr<QLockFile> moduleLock;
    std::atomic<bool> deviceOpen;
    std::atomic<int> reportsDropped;
    unsigned char reportBuffer[ReportSize];

    // Held by writeFrame and by every close, so no write uses a closed handle.
    std::mutex deviceMutex;
};

Q_DECLARE_METATYPE(QUSBPort::OpenFailure)

#endif
