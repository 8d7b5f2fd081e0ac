#include "core/operationprogress.h"
#include "maintenance/firmwareuploader.h"
#include "maintenance/moduleservice.h"
#include "sim/simulatedmodule.h"
#include "tests/maintenance/modulewire.h"
#include "tests/support/testenvironment.h"

#include <QFile>
#include <QTest>

#include <memory>

namespace
{

// Asks for a stop the first time it is asked, and notes whether the upload
// said it no longer needs the progress.
class StopAtOnce : public NoProgress
{
public:
    bool finished = false;
    bool cancelled() override { return true; }
    void finish() override { finished = true; }
};

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

} // namespace

// The maintenance core on a port of its own, with no window: what it leaves
// unchanged and what it tells the front end when it does not succeed.
class MaintenanceCoreTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<testenv::CoreSession> core;
    QString folder;

private slots:
    void initTestCase()
    {
        testenv::isolateSettings();
        folder = testenv::scratchDirectory();
    }

    void init()
    {
        sim::freshModule();
        core = std::make_unique<testenv::CoreSession>();
        QVERIFY(core->waitUntilOpen());
        sim::clearWrittenReports();
    }

    void cleanup()
    {
        core.reset();
        sim::reset();
    }

    void imageNotLoadedWholeIsNeverAnnounced()
    {
        const QString good = folder + "/good.bin";
        const QString empty = folder + "/empty.bin";
        QVERIFY(writeFile(good, QByteArray("\xFF\x01", 2)));
        QVERIFY(writeFile(empty, QByteArray()));

        FirmwareImage image;
        QVERIFY(loadFirmwareImage(good, image).succeeded());
        QCOMPARE(image.size, 2u);
        QCOMPARE(image.checksum, quint16(0x0100));
        // A refused file leaves the image loaded before.
        const OperationResult refused = loadFirmwareImage(empty, image);
        QCOMPARE(int(refused.reason()), int(OperationResult::Reason::File));
        QCOMPARE(refused.message(), "The firmware file \"" + empty + "\" is empty.");
        QCOMPARE(image.size, 2u);
        QCOMPARE(int(image.bytes[0]), 0xFF);

        NoProgress progress;
        const OperationResult unloaded =
            uploadFirmwareImage(core->session, FirmwareImage(), progress);
        QVERIFY(unloaded.failed());
        QCOMPARE(unloaded.message(), QString("No firmware image was loaded."));
        QVERIFY(writtenPayloads().isEmpty());
    }

    void uploadStoppedByTheUserIsCancelledWithoutMessage()
    {
        const QString path = folder + "/image.bin";
        QVERIFY(writeFile(path, QByteArray(100, '\x11')));
        StopAtOnce progress;
        const OperationResult stopped = uploadFirmware(core->session, path, progress);
        QCOMPARE(int(stopped.reason()), int(OperationResult::Reason::Cancelled));
        QVERIFY(stopped.message().isEmpty());
        QVERIFY(!progress.finished);
        QCOMPARE(writtenPayloads().size(), 1);
        QCOMPARE(int(writtenPayloads().first()[0]), 0x09);
    }

    void serialNumberReadBackChangesOnlyWhenTheModuleConfirmsIt()
    {
        quint32 readBack = 77;
        // The number is stored, but its read-back comes with another code.
        sim::module().addFault({sim::FaultKind::WrongCode, 0x02, 0x01, 1, 1});
        const OperationResult unconfirmed = setSerialNumber(core->session, 1234, readBack);
        QVERIFY(unconfirmed.failed());
        QCOMPARE(unconfirmed.message(), QString("Failed to get serial number."));
        QCOMPARE(readBack, 77u);

        const OperationResult set = setSerialNumber(core->session, 1234, readBack);
        QVERIFY(set.succeeded());
        QCOMPARE(set.message(), QString("Serial Number set."));
        QCOMPARE(readBack, 1234u);
    }
};

QTEST_MAIN(MaintenanceCoreTest)
#include "tst_maintenancecore.moc"
