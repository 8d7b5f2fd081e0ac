#ifndef QUSBPORT_H
#define QUSBPORT_H

#include <QThread>

#include <atomic>
#include <mutex>

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
    static constexpr int RingSize = 10240;
    static constexpr int ReportSize = 65;
    static constexpr int ReportDataSize = 64;
    static constexpr int ReadTimeoutMs = 10;
    static constexpr int OpenRetryMs = 500;

    explicit QUSBPort(QObject *parent = nullptr);
    ~QUSBPort() override;

    void flush();
    int writeFrame(const unsigned char *data, int length);
    int readBytes(unsigned char *destination, int length, int count);

    // Asks run to return at its next check; the owner then waits for it.
    void stop();

signals:
    void dataReady();
    void openPortFailed();
    void openPortSuccess();

protected:
    void run() override;

private:
    bool ringFull() const;
    void storeByte(unsigned char byte);
    void closeDevice();

    unsigned char ReceiveRing[RingSize];
    std::atomic<int> head;
    std::atomic<int> tail;
    std::atomic<bool> running;
    hid_device_ *device;
    std::atomic<bool> deviceOpen;
    unsigned char reportBuffer[ReportSize];

    // Held by writeFrame and by every close, so no write uses a closed handle.
    std::mutex deviceMutex;
};

#endif
