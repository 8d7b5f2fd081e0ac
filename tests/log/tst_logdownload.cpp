#include "app/talvik.h"
#include "core/operationprogress.h"
#include "log/logcsv.h"
#include "log/logrecord.h"
#include "log/logstore.h"
#include "sim/simulatedmodule.h"
#include "tests/log/logdownloadchecks.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"

#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>
#include <set>

using namespace logchecks;

class LogDownloadTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Talvik> window;
    QString folder;

    sim::SimulatedModule &connectModule()
    {
        sim::SimulatedModule &module = sim::freshModule();
        window = testenv::openConnectedWindow();
        if (window == nullptr)
            qWarning("the module did not connect");
        return module;
    }

    QString path(const QString &name) const { return folder + '/' + name; }

    void click(const char *button) { window->findChild<QPushButton *>(button)->click(); }

    // Downloads into the file, answering each message box with OK.
    void download(DialogAnswerer &answerer, const QString &file, int messages,
                  const char *button = "ButtonDownloadFullLog")
    {
        answerer.chooseFile(file);
        for (int i = 0; i < messages; ++i)
            answerer.pressButton(QMessageBox::Ok);
        click(button);
    }

    void expectOneMessage(const DialogAnswerer &answerer, QMessageBox::Icon icon,
                          const QString &text)
    {
        const QList<DialogAnswerer::Seen> messages = answerer.messages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].text, text);
        QCOMPARE(messages[0].icon, icon);
        QCOMPARE(messages[0].title, QString("Talvik"));
        QCOMPARE(messages[0].buttons.size(), 1);
        QCOMPARE(messages[0].parent, window.get());
        QCOMPARE(answerer.unexpected(), 0);
    }

    void expectFiles(const QString &file, const ExpectedFiles &expected)
    {
        QCOMPARE(fileLines(file), expected.measurements);
        QCOMPARE(fileLines(LogRecord::systemFileName(file)), expected.system);
    }

    void expectNoFiles()
    {
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList());
    }

private slots:
    void initTestCase() { testenv::isolateSettings(); }

    void init()
    {
        static int test = 0;
        folder = testenv::scratchDirectory() + QString("/download%1").arg(++test);
        QDir().mkpath(folder);
    }

    void cleanup()
    {
        window.reset();
        sim::reset();
    }

    void fullDownloadWritesBothFilesInBatchesAndFinishes()
    {
        sim::SimulatedModule &module = connectModule();
        sim::setPacing(sim::Pacing::FullSpeed);
        sim::LogOptions options;
        options.soil = true;
        options.globe2 = true;
        const std::vector<sim::Record> log = sim::generateLog(300, 11, options);
        module.addRecords(log);
        // The station has soil probes, no Solvane, and a globe thermometer on
        // analog input 2 only.
        module.setInt16Parameter(258, 1);
        module.setInt16Parameter(264, 0);
        module.setInt16Parameter(200, 1);
        module.setInt16Parameter(202, 5);

        DialogAnswerer answerer;
        const QString file = path("Station.csv");
        download(answerer, file, 1);

        expectOneMessage(answerer, QMessageBox::Information, "Download complete.");
        const DialogAnswerer::Seen dialog = answerer.seen().first();
        QCOMPARE(dialog.kind, QString("file"));
        QCOMPARE(dialog.title, QString("Enter Log File Name"));
        QCOMPARE(dialog.text, QString("Comma-Separated Values (*.csv)"));
        QVERIFY2(QRegularExpression("/Log \\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d\\.csv$")
                     .match(dialog.initialSelection)
                     .hasMatch(),
                 qPrintable(dialog.initialSelection));
        QCOMPARE(window->statusBar()->currentMessage(), QString("Connected"));

        QCOMPARE(commandsSent(),
                 (QList<int>{0x02, 0x12, 0x12, 0x12, 0x12, 0x04, 0x04, 0x04, 0x05}));
        QCOMPARE(parametersRead(), (QList<int>{258, 264, 200, 202}));
        QCOMPARE(fetchesSent(), (QList<Fetch>{{0, 128}, {128, 128}, {256, 44}}));
        for (const sim::WrittenReport &report : sim::writtenReports()) {
            QCOMPARE(int(report.bytes.size()), 65);
            const int length = report.bytes[1] == 0x04 ? 7 : report.bytes[1] == 0x12 ? 3 : 1;
            for (size_t i = size_t(length) + 1; i < report.bytes.size(); ++i)
                QCOMPARE(int(report.bytes[i]), 0);
        }

        expectFiles(file, expectedFiles(log, columns(true, false, false, true), {}, 0));
        QCOMPARE(module.newRecordCount(), 0u);
    }

    void newRecordsComeFromSlotZeroIntoTheLastFolder()
    {
        sim::SimulatedModule &module = connectModule();
        std::vector<sim::Record> log = sim::generateLog(39, 3);
        log.push_back(sim::makeTextRecord(39, sim::LogTime{2024, 5, 6, 7, 8, 9},
                                          "Temp\xE9rature 5\xB0, \"probe\""));
        module.addRecords(log);
        module.setNewMark(30);
        module.setInt16Parameter(264, 1);
        // The soil switch cannot be read: its columns are left out.
        module.answerWrongCode(0xFF, 1, 0x12);

        DialogAnswerer answerer;
        const QString file = path("New.csv");
        download(answerer, file, 1, "ButtonDownloadPartLog");
        expectOneMessage(answerer, QMessageBox::Information, "Download complete.");
        QCOMPARE(commandsSent().first(), 0x03);
        QCOMPARE(fetchesSent(), (QList<Fetch>{{0, 10}}));
        const std::vector<sim::Record> fresh(log.begin() + 30, log.end());
        const ExpectedFiles expected =
            expectedFiles(fresh, columns(false, true, false, true), {}, 0);
        expectFiles(file, expected);
        QCOMPARE(
            expected.system.at(expected.system.size() - 2),
            QString::fromUtf8("39,2024-05-06 07:08:09,Info,\"Température 5°, \"\"probe\"\"\""));
        QCOMPARE(module.newRecordCount(), 0u);

        // Cancelling the next file dialog changes and sends nothing; it
        // opened in the folder of the file chosen before.
        sim::clearWrittenReports();
        answerer.chooseFile("");
        click("ButtonDownloadFullLog");
        QCOMPARE(answerer.seen().size(), 3);
        QCOMPARE(answerer.seen().last().kind, QString("file"));
        QCOMPARE(answerer.seen().last().directory, folder);
        QCOMPARE(answerer.unexpected(), 0);
        QVERIFY(sim::writtenReports().empty());
        QCOMPARE(window->statusBar()->currentMessage(), QString("Connected"));
    }

    void emptyOrOversizedLogsEndBeforeFetching()
    {
        sim::SimulatedModule &module = connectModule();
        {
            DialogAnswerer answerer;
            download(answerer, path("Empty.csv"), 1, "ButtonDownloadPartLog");
            expectOneMessage(answerer, QMessageBox::Critical, "Nothing new to download.");
            QCOMPARE(commandsSent(), QList<int>{0x03});
        }

        // More than the store holds: refused, nothing written past it.
        sim::clearWrittenReports();
        module.setOfferedRecordCount(49153);
        DialogAnswerer refusing;
        download(refusing, path("Huge.csv"), 1);
        expectOneMessage(refusing, QMessageBox::Critical,
                         "The module offers 49153 records, more than the 49,152 that Talvik can "
                         "hold. Nothing was downloaded.");
        QCOMPARE(commandsSent(), QList<int>{0x02});
        expectNoFiles();
        QCOMPARE(window->statusBar()->currentMessage(), QString("Connected"));
    }

    void checksumFailingOnceIsFetchedAgainUnmarked()
    {
        sim::SimulatedModule &module = connectModule();
        const std::vector<sim::Record> log = plainLog(5);
        module.addRecords(log);
        module.corruptRecord(2, sim::Corruption::Once);

        DialogAnswerer answerer;
        const QString file = path("Once.csv");
        download(answerer, file, 1);
        expectOneMessage(answerer, QMessageBox::Information, "Download complete.");
        // The rest of the first batch is drained, then asked for again.
        QCOMPARE(fetchesSent(), (QList<Fetch>{{0, 5}, {2, 3}}));
        expectFiles(file, expectedFiles(log, columns(true, false, false, true), {}, 1));
    }

    void checksumFailingTwiceIsKeptMarkedAndErasedRecordsPass()
    {
        sim::SimulatedModule &module = connectModule();
        std::vector<sim::Record> log = plainLog(6);
        log[4] = sim::erasedRecord();
        module.addRecords(log);
        module.corruptRecord(2, sim::Corruption::Always);

        DialogAnswerer answerer;
        const QString file = path("Twice.csv");
        download(answerer, file, 1);
        expectOneMessage(answerer, QMessageBox::Information, "Download complete.");
        QCOMPARE(fetchesSent(), (QList<Fetch>{{0, 6}, {2, 4}}));
        std::vector<sim::Record> received = log;
        received[2][125] ^= 0x01; // as the module sent it
        const ExpectedFiles expected =
            expectedFiles(received, columns(true, false, false, true), {2}, 1);
        expectFiles(file, expected);
        QVERIFY(expected.measurements[3].endsWith(",CHECKSUM ERROR"));
        QVERIFY(expected.system.contains("4294967295,,Unknown Record"));
    }

    void shortReadsUseUpTheBudgetThatEachRecordRestores()
    {
        sim::SimulatedModule &module = connectModule();
        module.addRecords(plainLog(3));
        // Five fetches unanswered, then one that brings only record 0, then
        // silence: five short reads pass, a record restores the budget, five
        // more pass and the sixth in a row ends the download.
        module.addFault({sim::FaultKind::Silent, 0, 0x04, 0, 5});
        module.addFault({sim::FaultKind::Short, 128, 0x04, 5, 1});
        module.addFault({sim::FaultKind::Silent, 0, 0x04, 6, sim::Always});

        DialogAnswerer answerer;
        download(answerer, path("Silent.csv"), 1);
        expectOneMessage(answerer, QMessageBox::Critical, "Download failed.");
        QList<Fetch> expected;
        for (int i = 0; i < 6; ++i)
            expected.append({0, 3});
        for (int i = 0; i < 5; ++i)
            expected.append({1, 2});
        QCOMPARE(fetchesSent(), expected);
        QVERIFY(!commandsSent().contains(0x05));
        expectNoFiles();
        QCOMPARE(window->statusBar()->currentMessage(), QString("Connected"));
        QCOMPARE(module.newRecordCount(), 3u);
    }

    void shortReadMidBatchAsksAgainFromTheFirstMissingRecord()
    {
        sim::SimulatedModule &module = connectModule();
        const std::vector<sim::Record> log = plainLog(10);
        module.addRecords(log);
        module.answerShort(5 * 128, 1, 0x04);

        DialogAnswerer answerer;
        const QString file = path("Short.csv");
        download(answerer, file, 1);
        expectOneMessage(answerer, QMessageBox::Information, "Download complete.");
        QCOMPARE(fetchesSent(), (QList<Fetch>{{0, 10}, {5, 5}}));
        expectFiles(file, expectedFiles(log, columns(true, false, false, true), {}, 1));
    }

    void unplugDuringFetchEndsDownload()
    {
        sim::SimulatedModule &module = connectModule();
        module.addRecords(plainLog(300));
        module.dropOffAfterRecords(50);

        DialogAnswerer answerer;
        download(answerer, path("Unplugged.csv"), 1);
        expectOneMessage(answerer, QMessageBox::Critical, "Download failed.");
        QCOMPARE(fetchesSent(), (QList<Fetch>{{0, 128}}));
        QVERIFY(!commandsSent().contains(0x05));
        expectNoFiles();
        // At once, not the "Connected" saved before the module left.
        QCOMPARE(window->statusBar()->currentMessage(), QString("Disconnected"));
    }

    void reportsLostToAFullRingAreFetchedAgain()
    {
        sim::SimulatedModule &module = connectModule();
        const std::vector<sim::Record> log = plainLog(300);
        module.addRecords(log);
        // Halfway through the first batch the module bursts 0xFF reports,
        // more than the ring holds while the program is held up: the rest
        // of the batch is lost, and the burst would read as erased records.
        module.addFault({sim::FaultKind::Burst, 400, 0x04, 0, 1});
        bool held = false;
        QTimer holder;
        connect(&holder, &QTimer::timeout, [&] {
            if (held || fetchesSent().isEmpty())
                return;
            held = true;
            for (int waited = 0; sim::pendingInputReports() > 0 && waited < 5000; ++waited)
                QThread::msleep(1);
            QThread::msleep(20); // the port stores the last report it took
        });
        holder.start(0);

        OverflowLinesMuted muted;
        DialogAnswerer answerer;
        const QString file = path("Burst.csv");
        download(answerer, file, 1);
        holder.stop();
        QVERIFY(held);
        expectOneMessage(answerer, QMessageBox::Information, "Download complete.");
        QCOMPARE(fetchesSent(), (QList<Fetch>{{0, 128}, {0, 128}, {128, 128}, {256, 44}}));
        expectFiles(file, expectedFiles(log, columns(true, false, false, true), {}, 1));
    }

    void cancelStopsTheFetchWithoutFileOrFinish()
    {
        sim::SimulatedModule &module = connectModule();
        sim::setPacing(sim::Pacing::FullSpeed);
        module.addRecords(plainLog(300));

        QTimer canceller;
        connect(&canceller, &QTimer::timeout, [&] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *progress = qobject_cast<QProgressDialog *>(widget);
                if (progress != nullptr && progress->isVisible() && progress->value() >= 16)
                    progress->cancel();
            }
        });
        canceller.start(2);

        DialogAnswerer answerer;
        download(answerer, path("Cancelled.csv"), 0);
        canceller.stop();
        QCOMPARE(answerer.messages().size(), 0);
        QCOMPARE(answerer.unexpected(), 0);
        QCOMPARE(fetchesSent(), (QList<Fetch>{{0, 128}}));
        QVERIFY(!commandsSent().contains(0x05));
        expectNoFiles();
        QCOMPARE(window->statusBar()->currentMessage(), QString("Connected"));
        QCOMPARE(module.newRecordCount(), 300u);
    }

    void progressWindowsAndStatusFollowTheFetchAndTheExport()
    {
        sim::SimulatedModule &module = connectModule();
        module.addRecords(plainLog(40));

        // What a progress window shows whenever the download lets events
        // through; each label update is followed by such a pass.
        struct Shown {
            QString label, title, status, cancel;
            bool windowModal;
            int maximum, value;
        };
        QList<Shown> shown;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, [&] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *progress = qobject_cast<QProgressDialog *>(widget);
                if (progress == nullptr || !progress->isVisible())
                    continue;
                QStringList buttons;
                for (const QPushButton *button : progress->findChildren<QPushButton *>())
                    buttons.append(button->text());
                const Shown now{progress->labelText(),
                                progress->windowTitle(),
                                window->statusBar()->currentMessage(),
                                buttons.join('|'),
                                progress->windowModality() == Qt::WindowModal,
                                progress->maximum(),
                                progress->value()};
                if (shown.isEmpty() || shown.last().label != now.label)
                    shown.append(now);
            }
        });
        watcher.start(0);

        DialogAnswerer answerer;
        download(answerer, path("Watched.csv"), 1);
        watcher.stop();
        expectOneMessage(answerer, QMessageBox::Information, "Download complete.");

        QStringList labels;
        for (const Shown &s : shown) {
            labels.append(s.label);
            QCOMPARE(s.title, QString("Talvik"));
            QVERIFY(s.windowModal);
            QCOMPARE(s.status, QString("Downloading Log..."));
            const bool exporting = s.label == "Processing Log Information...";
            QCOMPARE(s.cancel, exporting ? QString() : QString("Cancel"));
            const QRegularExpressionMatch fetching =
                QRegularExpression("^Downloading Log (\\d+) of 40$").match(s.label);
            if (fetching.hasMatch())
                QCOMPARE(s.value, fetching.captured(1).toInt());
            if (exporting || fetching.hasMatch())
                QCOMPARE(s.maximum, 40);
        }
        labels.removeAll("Downloading Log Information...");
        QCOMPARE(labels,
                 (QStringList{"Downloading Log 0 of 40", "Downloading Log 16 of 40",
                              "Downloading Log 32 of 40", "Processing Log Information..."}));
        QCOMPARE(window->statusBar()->currentMessage(), QString("Connected"));
    }

    void failingFinishLeavesTheFilesAndSaysSo()
    {
        sim::SimulatedModule &module = connectModule();
        const std::vector<sim::Record> log = plainLog(20);
        module.addRecords(log);
        module.answerWrongCode(0, 1, 0x05);

        DialogAnswerer answerer;
        const QString file = path("Unfinished.csv");
        download(answerer, file, 1);
        expectOneMessage(answerer, QMessageBox::Critical, "Download failed.");
        QCOMPARE(commandsSent().last(), 0x05);
        expectFiles(file, expectedFiles(log, columns(true, false, false, true), {}, 0));
        QCOMPARE(window->statusBar()->currentMessage(), QString("Connected"));
        QCOMPARE(module.newRecordCount(), 20u);
    }

    void oneUnwritableFileLeavesBothOldFilesInPlace()
    {
        sim::SimulatedModule &module = connectModule();
        module.addRecords(plainLog(20));
        auto writeOld = [](const QString &name) {
            QFile old(name);
            return old.open(QIODevice::WriteOnly) && old.write("an older export\r\n") > 0;
        };
        auto expectOld = [](const QString &name) {
            QCOMPARE(fileLines(name), QStringList{"an older export"});
        };

        // A folder in the place of the system file: the old measurement file
        // stays, both are named, and the module is not told.
        const QString file = path("Blocked.csv");
        const QString system = path("Blocked-system.csv");
        QVERIFY(writeOld(file));
        QVERIFY(QDir().mkpath(system));
        {
            DialogAnswerer blocked;
            download(blocked, file, 1);
            expectOneMessage(blocked, QMessageBox::Critical,
                             "The log could not be saved to:\n" + file + "\n" + system);
        }
        QVERIFY(!commandsSent().contains(0x05));
        expectOld(file);
        QCOMPARE(module.newRecordCount(), 20u);
        QCOMPARE(window->statusBar()->currentMessage(), QString("Connected"));

        // The other way round: the old system file stays.
        const QString shadowed = path("Shadowed.csv");
        const QString shadowedSystem = path("Shadowed-system.csv");
        QVERIFY(QDir().mkpath(shadowed));
        QVERIFY(writeOld(shadowedSystem));
        NoProgress progress;
        const OperationResult written =
            writeLogCsv(shadowed, RecordStore::programWide(), 20, 0, {}, progress);
        QCOMPARE(int(written.reason()), int(OperationResult::Reason::File));
        QCOMPARE(written.message(),
                 "The log could not be saved to:\n" + shadowed + "\n" + shadowedSystem);
        expectOld(shadowedSystem);
        QCOMPARE(QDir(folder).entryList(QDir::Files),
                 (QStringList{"Blocked.csv", "Shadowed-system.csv"}));
    }

    void exportIntoAMissingFolderWritesNothing()
    {
        OwnRecordStore own(3);
        const RecordStore store = own.store();
        const std::vector<sim::Record> log = plainLog(3);
        for (int slot = 0; slot < 3; ++slot)
            std::copy(log[size_t(slot)].begin(), log[size_t(slot)].end(), store.records[slot]);
        NoProgress progress;
        const QString missing = path("gone/Log.csv");
        QCOMPARE(writeLogCsv(missing, store, 3, 0, {}, progress).message(),
                 "The log could not be saved to:\n" + missing + "\n" + path("gone/Log-system.csv"));
        QVERIFY(!QFile::exists(path("gone")));
    }
};

QTEST_MAIN(LogDownloadTest)
#include "tst_logdownload.moc"
