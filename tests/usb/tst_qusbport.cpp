#include "sim/simdevice.h"
#include "usb/qusbport.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <mutex>

namespace
{

// Collects the port's debug lines; the port thread writes them.
std::mutex logMutex;
QStringList debugLines;
std::atomic<int> overflowLines{0};

void captureMessages(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (message == "USBPort: Buffer Overflow") {
        ++overflowLines;
        return;
    }
    std::lock_guard<std::mutex> lock(logMutex);
    debugLines.append(message);
}

QStringList capturedLines()
{
    std::lock_guard<std::mutex> lock(logMutex);
    return debugLines;
}

QByteArray pattern(int length, int seed)
{
    QByteArray bytes(length, '\0');
    for (int i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return bytes;
}

} // namespace

class QUSBPortTest : public QObject
{
    Q_OBJECT

private:
    QUSBPort *port = nullptr;
    QSignalSpy *opened = nullptr;
    QSignalSpy *failed = nullptr;

    void startPort()
    {
        port = new QUSBPort();
        opened = new QSignalSpy(port, &QUSBPort::openPortSuccess);
        failed = new QSignalSpy(port, &QUSBPort::openPortFailed);
        port->start();
    }

    QByteArray read(int length, int count)
    {
        QByteArray bytes(length, '\0');
        const int n =
            port->readBytes(reinterpret_cast<unsigned char *>(bytes.data()), length, count);
        return bytes.left(n);
    }

private slots:
    void init()
    {
        sim::reset();
        overflowLines = 0;
        std::lock_guard<std::mutex> lock(logMutex);
        debugLines.clear();
        qInstallMessageHandler(captureMessages);
    }

    void cleanup()
    {
        if (port != nullptr) {
            port->stop();
            QVERIFY(port->wait(2000));
        }
        delete opened;
        delete failed;
        delete port;
        port = nullptr;
        opened = failed = nullptr;
        qInstallMessageHandler(nullptr);
    }

    void absentModuleFailsEveryAttemptAndRefusesIo()
    {
        startPort();
        QTRY_VERIFY_WITH_TIMEOUT(failed->count() >= 2, 3000);
        QCOMPARE(opened->count(), 0);
        const unsigned char frame[3] = {1, 2, 3};
        QCOMPARE(port->writeFrame(frame, 3), -1);
        QCOMPARE(read(64, 1000).size(), 0);
        QVERIFY(sim::writtenReports().empty());
        QCOMPARE(capturedLines().value(0), QString("USBPort: Openning USB Port"));
    }

    void writeFramePadsShortFramesAndCutsLongOnes()
    {
        sim::plug();
        startPort();
        QTRY_COMPARE(opened->count(), 1);

        const QByteArray shortFrame = pattern(3, 1);
        const QByteArray longFrame = pattern(70, 2);
        QCOMPARE(port->writeFrame(reinterpret_cast<const unsigned char *>(shortFrame.data()), 3),
                 65);
        QCOMPARE(port->writeFrame(reinterpret_cast<const unsigned char *>(longFrame.data()), 70),
                 65);
        QCOMPARE(port->writeFrame(nullptr, 0), 65);

        const auto written = sim::writtenReports();
        QCOMPARE(written.size(), size_t(3));
        std::vector<unsigned char> expectShort(65, 0);
        std::copy(shortFrame.begin(), shortFrame.end(), expectShort.begin() + 1);
        QVERIFY(written[0].bytes == expectShort);
        std::vector<unsigned char> expectLong(65, 0);
        std::copy(longFrame.begin(), longFrame.begin() + 64, expectLong.begin() + 1);
        QVERIFY(written[1].bytes == expectLong);
        QVERIFY(written[2].bytes == std::vector<unsigned char>(65, 0));
    }

    void repliesArriveInOrderWithOneSignalPerReport()
    {
        sim::plug();
        startPort();
        QTRY_COMPARE(opened->count(), 1);
        QSignalSpy ready(port, &QUSBPort::dataReady);
        const QByteArray first = pattern(64, 10), second = pattern(64, 20), third = pattern(64, 30);
        for (const QByteArray &report : {first, second, third})
            sim::queueInputReport(reinterpret_cast<const unsigned char *>(report.data()), 64);

        QCOMPARE(read(192, 1000), first + second + third);
        QTRY_COMPARE(ready.count(), 3);
    }

    void waitBudgetCoversTheWholeCall()
    {
        sim::plug();
        startPort();
        QTRY_COMPARE(opened->count(), 1);
        // Count 1 on an empty ring: one pass, nothing copied.
        QCOMPARE(read(1, 1).size(), 0);

        const QByteArray report = pattern(64, 5);
        sim::queueInputReport(reinterpret_cast<const unsigned char *>(report.data()), 64);
        QTRY_COMPARE(sim::pendingInputReports(), 0);
        // 64 bytes are there, 64 more never come: the budget of 5 passes
        // ends the call with what it has.
        QCOMPARE(read(128, 5), report);
        QCOMPARE(read(0, 5).size(), 0);
    }

    void overflowKeepsOldBytesAndDropsOnlyTheExcess()
    {
        sim::plug();
        startPort();
        QTRY_COMPARE(opened->count(), 1);
        const int reports = 200;
        QByteArray sent;
        for (int r = 0; r < reports; ++r) {
            const QByteArray report = pattern(64, r);
            sent += report;
            sim::queueInputReport(reinterpret_cast<const unsigned char *>(report.data()), 64);
        }
        const int kept = QUSBPort::RingSize - 1;
        QTRY_COMPARE_WITH_TIMEOUT(overflowLines.load(), reports * 64 - kept, 5000);

        QCOMPARE(read(reports * 64, 20), sent.left(kept));

        // flush clears the condition: the next report arrives whole.
        sim::queueInputReport(reinterpret_cast<const unsigned char *>(sent.constData()), 64);
        QTRY_COMPARE(sim::pendingInputReports(), 0);
        QTest::qWait(20);
        port->flush();
        const QByteArray fresh = pattern(64, 99);
        sim::queueInputReport(reinterpret_cast<const unsigned char *>(fresh.data()), 64);
        QCOMPARE(read(64, 1000), fresh);
    }

    void unplugDuringReadReturnsWhatArrivedAndReopens()
    {
        sim::plug();
        startPort();
        QTRY_COMPARE(opened->count(), 1);
        const QByteArray report = pattern(64, 3);
        sim::queueInputReport(reinterpret_cast<const unsigned char *>(report.data()), 64);
        QTimer::singleShot(100, [] { sim::unplug(); });

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(read(128, 100000), report);
        // It returned on the lost device, long before the budget ran out.
        QVERIFY(clock.elapsed() < 50000);

        QTRY_VERIFY_WITH_TIMEOUT(failed->count() >= 1, 3000);
        QCOMPARE(read(64, 1000).size(), 0);
        sim::plug();
        QTRY_COMPARE_WITH_TIMEOUT(opened->count(), 2, 3000);
    }

    void stopWhileOpenTerminatesAndReportsFailure()
    {
        sim::plug();
        startPort();
        QTRY_COMPARE(opened->count(), 1);
        const int failuresBefore = failed->count();
        port->stop();
        QVERIFY(port->wait(2000));
        QTRY_COMPARE(failed->count(), failuresBefore + 1);
        QVERIFY(capturedLines().contains("USBPort: Thread Terminating"));
        const unsigned char frame[1] = {0};
        QCOMPARE(port->writeFrame(frame, 1), -1);
    }

    void stopWhileRetryingReturnsSilently()
    {
        startPort();
        QTRY_VERIFY(failed->count() >= 1);
        port->stop();
        QVERIFY(port->wait(2000));
        QVERIFY(!capturedLines().contains("USBPort: Thread Terminating"));
    }

    void stopRightAfterAnOpenLeavesNoDeviceBehind()
    {
        // The stop lands at varying moments around the open; whichever way
        // the thread ends, it must not keep the device open with nobody
        // reading it.
        sim::plug();
        const unsigned char frame[1] = {0};
        for (int cycle = 0; cycle < 500; ++cycle) {
            QUSBPort stopped;
            const int opensBefore = sim::openCount();
            QElapsedTimer spin;
            spin.start();
            stopped.start();
            while (sim::openCount() == opensBefore && spin.elapsed() < 2000) {
            }
            stopped.stop();
            QVERIFY(stopped.wait(2000));
            QCOMPARE(stopped.writeFrame(frame, 1), -1);
        }
        QVERIFY(sim::writtenReports().empty());
    }
};

QTEST_GUILESS_MAIN(QUSBPortTest)
#include "tst_qusbport.moc"
