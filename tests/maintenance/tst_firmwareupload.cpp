#include "app/talvik.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "tests/maintenance/modulewire.h"
#include "tests/maintenance/progresswatcher.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTest>

#include <memory>

namespace
{
QByteArray imageOf(int size)
{
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = static_cast<char>(0x80 + i * 3);
    return image;
}

QByteArray startFrame(const QByteArray &image)
{
    quint32 sum = 0;
    for (char byte : image)
        sum += static_cast<unsigned char>(byte);
    const quint32 size = quint32(image.size());
    QByteArray frame = bytes({0x09, int((sum >> 8) & 0xFF), int(sum & 0xFF), int(size >> 24),
                              int((size >> 16) & 0xFF), int((size >> 8) & 0xFF), int(size & 0xFF)});
    return frame + QByteArray(57, '\0');
}

QStringList frameLabels(const QStringList &labels)
{
    QStringList result;
    for (const QString &label : labels)
        if (label != "Uploading Firmware...")
            result.append(label);
    return result;
}
} // namespace

class FirmwareUploadTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Talvik> window;

    bool connectWindow()
    {
        window = testenv::openConnectedWindow();
        return window != nullptr;
    }

    void clickUpload() { window->findChild<QPushButton *>("ButtonUpdateFirmware")->click(); }

    QString writeImage(const QString &name, const QByteArray &contents)
    {
        const QString path = testenv::scratchDirectory() + "/" + name;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(contents) != contents.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    void verifyOnlyMessage(const DialogAnswerer &answers, QMessageBox::Icon icon,
                           const QString &text)
    {
        QCOMPARE(answers.unexpected(), 0);
        QCOMPARE(answers.messages().size(), 1);
        const DialogAnswerer::Seen message = answers.messages().first();
        QCOMPARE(message.text, text);
        QCOMPARE(message.icon, icon);
        QCOMPARE(message.title, QString("Talvik"));
        QCOMPARE(message.buttons, QStringList{"OK"});
        QCOMPARE(message.parent, window.get());
    }

private slots:
    void initTestCase() { testenv::isolateSettings(); }

    void init()
    {
        sim::freshModule(false);
        QSettings("Norvale", "Talvik").clear();
    }

    void cleanup()
    {
        window.reset();
        sim::reset();
    }

    void hundredByteImageGoesOutAsTwoFramesAndIsAccepted()
    {
        QVERIFY(connectWindow());
        const QByteArray image = imageOf(100);
        const QString path = writeImage("hundred.bin", image);
        DialogAnswerer answers;
        answers.chooseFile(path);
        answers.pressButton(QMessageBox::Ok);
        ProgressWatcher watcher(*window);

        clickUpload();

        const QList<QByteArray> sent = writtenPayloads();
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent[0], startFrame(image));
        QCOMPARE(sent[1], image.left(64));
        QCOMPARE(sent[2], image.mid(64) + QByteArray(28, '\0'));
        QCOMPARE(frameLabels(watcher.labels),
                 (QStringList{"Uploading 0 of 100", "Uploading 64 of 100"}));
        QCOMPARE(watcher.progressTitle, QString("Talvik"));
        QCOMPARE(watcher.cancelText, QString("Cancel"));
        QVERIFY(watcher.progressWindowModal);

        const DialogAnswerer::Seen fileDialog = answers.seen().first();
        QCOMPARE(fileDialog.kind, QString("file"));
        QCOMPARE(fileDialog.title, QString("Firmware File Name"));
        QCOMPARE(fileDialog.text, QString("Norvale Firmware (*.bin)"));
        QCOMPARE(fileDialog.parent, window.get());

        // The module summed the bytes it kept to the checksum announced.
        QCOMPARE(sim::module().firmwareVerdict(), sim::FirmwareVerdict::Accepted);
        QCOMPARE(sim::module().firmwareImage(),
                 std::vector<unsigned char>(image.begin(), image.end()));
        verifyOnlyMessage(answers, QMessageBox::Information, "Firmware upload complete.");
        QCOMPARE(watcher.progressAtMessage, QList<bool>{false});
        QVERIFY(watcher.statusMessages.contains("Uploading Firmware..."));
        QCOMPARE(window->statusBar()->currentMessage(), QString("Connected"));
    }

    void imageOfExactlyTwoFramesSendsNoThirdAndAWrongVerdictFails()
    {
        sim::module().setFirmwareEnding(sim::FirmwareEnding::Reject);
        QVERIFY(connectWindow());
        const QByteArray image = imageOf(128);
        DialogAnswerer answers;
        answers.chooseFile(writeImage("exact.bin", image));
        answers.pressButton(QMessageBox::Ok);
        ProgressWatcher watcher(*window);

        clickUpload();

        const QList<QByteArray> sent = writtenPayloads();
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent[0], startFrame(image));
        QCOMPARE(sent[1] + sent[2], image);
        QCOMPARE(sim::module().firmwareFramesReceived(), 2);
        QCOMPARE(frameLabels(watcher.labels),
                 (QStringList{"Uploading 0 of 128", "Uploading 64 of 128"}));
        verifyOnlyMessage(answers, QMessageBox::Critical, "Firmware upload failed. 5");
        QCOMPARE(watcher.progressAtMessage, QList<bool>{false});
        QCOMPARE(window->statusBar()->currentMessage(), QString("Connected"));
    }

    void verdictSentRightAfterTheStartReplyIsTaken()
    {
        // Whatever the module sends after its start reply stays in the
        // receive buffer through the pause and the frames.
        const QByteArray image = imageOf(64);
        sim::setResponder([](const unsigned char *payload) -> std::vector<sim::Report> {
            if (payload[0] == 0x09)
                return {report(bytes({0x09})), report(bytes({0x0A}))};
            return {};
        });
        QVERIFY(connectWindow());
        DialogAnswerer answers;
        answers.chooseFile(writeImage("early.bin", image));
        answers.pressButton(QMessageBox::Ok);

        clickUpload();

        QCOMPARE(writtenPayloads(), (QList<QByteArray>{startFrame(image), image}));
        verifyOnlyMessage(answers, QMessageBox::Information, "Firmware upload complete.");
    }

    void startFrameNotAcceptedSendsNoDataAndIsNotRepeated()
    {
        QVERIFY(connectWindow());
        const QByteArray image = imageOf(100);
        const QString path = writeImage("refused.bin", image);

        sim::module().answerWrongCode(0x0A, 1, 0x09);
        {
            DialogAnswerer answers;
            answers.chooseFile(path);
            answers.pressButton(QMessageBox::Ok);
            ProgressWatcher watcher(*window);
            clickUpload();
            QCOMPARE(writtenPayloads(), QList<QByteArray>{startFrame(image)});
            verifyOnlyMessage(answers, QMessageBox::Critical, "Firmware upload failed. 2");
            QCOMPARE(watcher.progressAtMessage, QList<bool>{true});
        }

        sim::clearWrittenReports();
        sim::module().staySilent(1, 0x09);
        {
            DialogAnswerer answers;
            answers.chooseFile(path);
            answers.pressButton(QMessageBox::Ok);
            ProgressWatcher watcher(*window);
            clickUpload();
            QCOMPARE(writtenPayloads(), QList<QByteArray>{startFrame(image)});
            verifyOnlyMessage(answers, QMessageBox::Critical, "Firmware upload failed. 1");
            QCOMPARE(watcher.progressAtMessage, QList<bool>{true});
        }
        QCOMPARE(sim::module().firmwareFramesReceived(), 0);
        QCOMPARE(window->statusBar()->currentMessage(), QString("Connected"));
    }

    void cancelBeforeTheFirstFrameSendsNothingMore()
    {
        QVERIFY(connectWindow());
        const QByteArray image = imageOf(300);
        DialogAnswerer answers;
        answers.chooseFile(writeImage("cancelled.bin", image));
        ProgressWatcher watcher(*window);
        watcher.cancelOnSight = true;

        clickUpload();

        QCOMPARE(writtenPayloads(), QList<QByteArray>{startFrame(image)});
        QCOMPARE(sim::module().firmwareVerdict(), sim::FirmwareVerdict::Receiving);
        QCOMPARE(sim::module().firmwareFramesReceived(), 0);
        QCOMPARE(answers.messages().size(), 0);
        QCOMPARE(answers.unexpected(), 0);
        QCOMPARE(window->statusBar()->currentMessage(), QString("Connected"));
    }

    void unplugWhileFramesGoOutFailsWithThree()
    {
        QVERIFY(connectWindow());
        // The start frame and three data frames reach it, then it is gone.
        sim::dropOffAfterOutputReports(4);
        const QByteArray image = imageOf(640);
        DialogAnswerer answers;
        answers.chooseFile(writeImage("unplugged.bin", image));
        answers.pressButton(QMessageBox::Ok);
        ProgressWatcher watcher(*window);

        clickUpload();

        const QList<QByteArray> sent = writtenPayloads();
        QCOMPARE(sent.size(), 4);
        QCOMPARE(sent[3], image.mid(128, 64));
        verifyOnlyMessage(answers, QMessageBox::Critical, "Firmware upload failed. 3");
        QCOMPARE(watcher.progressAtMessage, QList<bool>{true});
        // The module is gone: the status says so, not the text saved before.
        // The port thread notices the loss on its own time (slowly under a
        // thread sanitizer), so the status may follow a moment later.
        QTRY_COMPARE(window->statusBar()->currentMessage(), QString("Disconnected"));
    }

    void unplugWhileAwaitingTheVerdictFailsWithFour()
    {
        sim::module().setFirmwareEnding(sim::FirmwareEnding::Silent);
        QVERIFY(connectWindow());
        sim::dropOffAfterOutputReports(3);
        const QByteArray image = imageOf(100);
        DialogAnswerer answers;
        answers.chooseFile(writeImage("noverdict.bin", image));
        answers.pressButton(QMessageBox::Ok);
        ProgressWatcher watcher(*window);

        clickUpload();

        QCOMPARE(writtenPayloads().size(), 3);
        QCOMPARE(sim::module().firmwareImage(),
                 std::vector<unsigned char>(image.begin(), image.end()));
        verifyOnlyMessage(answers, QMessageBox::Critical, "Firmware upload failed. 4");
        QCOMPARE(watcher.progressAtMessage, QList<bool>{false});
        QCOMPARE(window->statusBar()->currentMessage(), QString("Disconnected"));
    }

    void unusableFilesAreRefusedBeforeAnythingIsSent()
    {
        QVERIFY(connectWindow());
        const QString big = writeImage("big.bin", QByteArray(262145, '\1'));
        const QString empty = writeImage("empty.bin", QByteArray());
        const QString missing = testenv::scratchDirectory() + "/missing.bin";
        DialogAnswerer answers;
        answers.chooseFile("");
        answers.chooseFile(big);
        answers.pressButton(QMessageBox::Ok);
        answers.chooseFile(empty);
        answers.pressButton(QMessageBox::Ok);
        answers.chooseFile(missing);
        answers.pressButton(QMessageBox::Ok);
        ProgressWatcher watcher(*window);

        for (int i = 0; i < 4; ++i)
            clickUpload();

        QVERIFY(writtenPayloads().isEmpty());
        QCOMPARE(sim::module().firmwareStartCount(), 0);
        QCOMPARE(answers.unexpected(), 0);
        QCOMPARE(answers.unanswered(), 0);
        const QStringList texts = {
            "The firmware file \"" + big + "\" is larger than 262144 bytes.",
            "The firmware file \"" + empty + "\" is empty.",
            "Could not open the firmware file \"" + missing + "\".",
        };
        const QList<DialogAnswerer::Seen> messages = answers.messages();
        QCOMPARE(messages.size(), texts.size());
        for (int i = 0; i < texts.size(); ++i) {
            QCOMPARE(messages[i].text, texts[i]);
            QCOMPARE(messages[i].icon, QMessageBox::Critical);
            QCOMPARE(messages[i].title, QString("Talvik"));
            QCOMPARE(messages[i].parent, window.get());
        }
        QCOMPARE(watcher.progressAtMessage, (QList<bool>{false, false, false}));
        // Once a file was chosen, the next dialog opens in its folder.
        QCOMPARE(answers.seen().at(3).kind, QString("file"));
        QCOMPARE(answers.seen().at(3).directory, QDir(testenv::scratchDirectory()).absolutePath());
        QCOMPARE(window->statusBar()->currentMessage(), QString("Connected"));
    }
};

QTEST_MAIN(FirmwareUploadTest)
#include "tst_firmwareupload.moc"
