#include "sim/simdevice.h"
#include "usb/qusbport.h"

#include <QDateTime>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <cstring>
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

// Counts the port's signals in the test thread: they arrive as queued calls,
// so only this thread ever touches the counts.
class SignalCounter : public QObject
{
public:
    explicit SignalCounter(QUSBPort *port)
    {
        connect(
            port, &QUSBPort::openPortSuccess, this, [this] { ++opened; }, Qt::QueuedConnection);
        connect(
            port, &QUSBPort::openPortFailed, this, [this] { ++failed; }, Qt::QueuedConnection);
        connect(
            port, &QUSBPort::dataReady, this, [this] { ++ready; }, Qt::QueuedConnection);
        connect(
            port, &QUSBPort::openFailureFound, this,
            [this](const QUSBPort::OpenFailure &failure) { failures.append(failure); },
            Qt::QueuedConnection);
    }
    int opened = 0;
    int failed = 0;
    int ready = 0;
    QList<QUSBPort::OpenFailure> failures;
};

} // namespace

class QUSBPortTest : public QObject
{
    Q_OBJECT

private:
    QUSBPort *port = nullptr;
    SignalCounter *counts = nullptr;

    void startPort()
    {
        port = new QUSBPort();
        counts = new SignalCounter(port);
        port->start();
    }

    int opened() const { return counts->opened; }
    int failed() const { return counts->failed; }

    // The failure the port reported after its first failed open.
    QUSBPort::OpenFailure firstFailure()
    {
        startPort();
        if (!QTest::qWaitFor([this] { return !counts->failures.isEmpty(); }, 3000))
            qWarning("no open failure was reported");
        return counts->failures.value(0);
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
        delete counts;
        delete port;
        port = nullptr;
        counts = nullptr;
        qInstallMessageHandler(nullptr);
    }

    void absentModuleFailsEveryAttemptAndRefusesIo()
    {
        startPort();
        QTRY_VERIFY_WITH_TIMEOUT(failed() >= 2, 3000);
        QCOMPARE(opened(), 0);
        const unsigned char frame[3] = {1, 2, 3};
        QCOMPARE(port->writeFrame(frame, 3), -1);
        QCOMPARE(read(64, 1000).size(), 0);
        QVERIFY(sim::writtenReports().empty());
        QCOMPARE(capturedLines().value(0), QString("USBPort: Openning USB Port"));
    }

    void openFailureSaysWhyTheModuleIsNotConnected_data()
    {
        QTest::addColumn<bool>("plugged");
        QTest::addColumn<int>("refusal");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("error");
        QTest::newRow("absent") << false << 0 << int(QUSBPort::OpenFailure::NoModule) << QString()
                                << "No HID devices with requested VID/PID found in the system.";
        QTest::newRow("permission denied")
            << true << EACCES << int(QUSBPort::OpenFailure::PermissionDenied)
            << QString(sim::DevicePath)
            << "Failed to open a device with path '/dev/hidraw3': Permission denied";
        QTest::newRow("busy") << true << EBUSY << int(QUSBPort::OpenFailure::OtherError)
                              << QString(sim::DevicePath)
                              << "Failed to open a device with path '/dev/hidraw3': " +
                                     QString::fromLocal8Bit(std::strerror(EBUSY));
    }

    void openFailureSaysWhyTheModuleIsNotConnected()
    {
        QFETCH(bool, plugged);
        QFETCH(int, refusal);
        QFETCH(int, kind);
        QFETCH(QString, node);
        QFETCH(QString, error);
        if (plugged)
            sim::plug();
        sim::refuseOpens(refusal);
        QElapsedTimer clock;
        clock.start();
        const QUSBPort::OpenFailure failure = firstFailure();
        QCOMPARE(int(failure.kind), kind);
        QCOMPARE(failure.node, node);
        QCOMPARE(failure.error, error);
        // One reason per failed open, no more often than the retry pause.
        QTest::qWait(1100);
        QVERIFY(counts->failures.size() <= 1 + clock.elapsed() / QUSBPort::OpenRetryMs);
        QCOMPARE(counts->failures.size(), failed());
        QCOMPARE(opened(), 0);
    }

    void moduleFailingEveryReadIsReopenedAtMostTwiceASecond()
    {
        sim::plug();
        startPort();
        QTRY_COMPARE(opened(), 1);
        // A module that worked for a while is reopened at once when lost.
        QTest::qWait(QUSBPort::ReopenGuardMs + 100);
        QElapsedTimer clock;
        clock.start();
        sim::failEveryRead(true);
        QTRY_VERIFY_WITH_TIMEOUT(sim::openCount() >= 2, 2000);
        QVERIFY2(clock.elapsed() < 400, qPrintable(QString::number(clock.elapsed())));

        // Lost again right after each open: two opens a second at most,
        // yet it keeps trying.
        const int opensBefore = sim::openCount();
        clock.restart();
        QTest::qWait(1500);
        const int opens = sim::openCount() - opensBefore;
        QVERIFY2(opens >= 1 && opens <= 1 + clock.elapsed() / QUSBPort::ReopenGuardMs,
                 qPrintable(QString::number(opens)));
        QTRY_COMPARE(opened(), sim::openCount());
        QCOMPARE(failed(), 0);

        sim::failEveryRead(false);
        const QByteArray report = pattern(64, 8);
        QTRY_VERIFY(port->isDeviceOpen());
        sim::queueInputReport(reinterpret_cast<const unsigned char *>(report.data()), 64);
        QCOMPARE(read(64, 2000), report);
    }

    void writeFramePadsShortFramesAndCutsLongOnes()
    {
        sim::plug();
        startPort();
        QTRY_COMPARE(opened(), 1);

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
        QTRY_COMPARE(opened(), 1);
        const QByteArray first = pattern(64, 10), second = pattern(64, 20), third = pattern(64, 30);
        for (const QByteArray &report : {first, second, third})
            sim::queueInputReport(reinterpret_cast<const unsigned char *>(report.data()), 64);

        QCOMPARE(read(192, 1000), first + second + third);
        QTRY_COMPARE(counts->ready, 3);
    }

    void waitBudgetCoversTheWholeCall()
    {
        sim::plug();
        startPort();
        QTRY_COMPARE(opened(), 1);
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
        QTRY_COMPARE(opened(), 1);
        const int reports = QUSBPort::RingSize / 64 + 100;
        QByteArray sent;
        for (int r = 0; r < reports; ++r) {
            const QByteArray report = pattern(64, r);
            sent += report;
            sim::queueInputReport(reinterpret_cast<const unsigned char *>(report.data()), 64);
        }
        const int kept = QUSBPort::RingSize - 1;
        QTRY_COMPARE_WITH_TIMEOUT(overflowLines.load(), reports * 64 - kept, 5000);
        // The report that only partly fitted counts as dropped too.
        QCOMPARE(port->droppedReports(), 101);

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
        QTRY_COMPARE(opened(), 1);
        const QByteArray report = pattern(64, 3);
        sim::queueInputReport(reinterpret_cast<const unsigned char *>(report.data()), 64);
        QTimer::singleShot(100, [] { sim::unplug(); });

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(read(128, 100000), report);
        // It returned on the lost device, long before the budget ran out.
        QVERIFY(clock.elapsed() < 50000);

        QTRY_VERIFY_WITH_TIMEOUT(failed() >= 1, 3000);
        QCOMPARE(read(64, 1000).size(), 0);
        sim::plug();
        QTRY_COMPARE_WITH_TIMEOUT(opened(), 2, 3000);
    }

    void stopWhileOpenTerminatesAndReportsFailure()
    {
        sim::plug();
        startPort();
        QTRY_COMPARE(opened(), 1);
        const int failuresBefore = failed();
        port->stop();
        QVERIFY(port->wait(2000));
        QTRY_COMPARE(failed(), failuresBefore + 1);
        QVERIFY(capturedLines().contains("USBPort: Thread Terminating"));
        const unsigned char frame[1] = {0};
        QCOMPARE(port->writeFrame(frame, 1), -1);
    }

    void stopWhileRetryingReturnsSilently()
    {
        startPort();
        QTRY_VERIFY(failed() >= 1);
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

    void moduleLockedByAnotherTalvikIsLeftClosed()
    {
        sim::plug();
        QLockFile other(QUSBPort::lockFilePath());
        other.setStaleLockTime(0);
        QVERIFY(other.tryLock(0));
        // A Talvik may hold the module for hours: an old lock is no stale one.
        QFile lockFile(QUSBPort::lockFilePath());
        QVERIFY(lockFile.open(QIODevice::ReadWrite));
        QVERIFY(lockFile.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                     QFileDevice::FileModificationTime));
        lockFile.close();

        const QUSBPort::OpenFailure failure = firstFailure();
        QCOMPARE(int(failure.kind), int(QUSBPort::OpenFailure::InUse));
        QCOMPARE(failure.holder, QCoreApplication::applicationPid());
        QCOMPARE(failure.reason(),
                 QString("The Control Module is in use by another Talvik (process %1).")
                     .arg(QCoreApplication::applicationPid()));
        QCOMPARE(sim::openCount(), 0);

        // Free again: the port takes the module, and holds the lock exactly
        // while it has it open.
        other.unlock();
        QTRY_COMPARE(opened(), 1);
        QVERIFY(!other.tryLock(0));
        sim::unplug();
        QTRY_VERIFY(!port->isDeviceOpen());
        // tryLock takes the lock: it may be asked only until it succeeds.
        QVERIFY(QTest::qWaitFor([&] { return other.tryLock(0); }));
        other.unlock();
        sim::plug();
        QTRY_COMPARE(opened(), 2);
        port->stop();
        QVERIFY(port->wait(2000));
        QVERIFY(other.tryLock(0));
        other.unlock();
    }

    void lockLeftByAProcessThatIsGoneIsTakenOver()
    {
        QProcess gone;
        gone.start("sleep", {"30"});
        QVERIFY(gone.waitForStarted());
        const qint64 pid = gone.processId();
        gone.kill();
        QVERIFY(gone.waitForFinished());
        QFile lockFile(QUSBPort::lockFilePath());
        QVERIFY(lockFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
        lockFile.write(
            QString("%1\ntalvik\n%2\n").arg(pid).arg(QSysInfo::machineHostName()).toUtf8());
        lockFile.close();

        sim::plug();
        startPort();
        QTRY_COMPARE(opened(), 1);
        QCOMPARE(sim::openCount(), 1);
    }
};

QTEST_GUILESS_MAIN(QUSBPortTest)
#include "tst_qusbport.moc"
