#include "core/operationprogress.h"
#include "log/logdownloader.h"
#include "log/logstore.h"
#include "sim/simulatedmodule.h"
#include "tests/log/logdownloadchecks.h"
#include "tests/support/testenvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <memory>

using namespace logchecks;

namespace
{

// Notes what a download does with its progress and its observer, in order,
// and asks for a stop the nth time it is asked whether to stop.
class Recorder : public OperationProgress, public DownloadObserver
{
public:
    Recorder(const QString &name, QStringList &events) : name(name), events(events) {}

    int cancelAtCheck = 0;
    QStringList labels;

    void setRange(int minimum, int maximum) override
    {
        events << QString("%1 range %2..%3").arg(name).arg(minimum).arg(maximum);
    }
    void setLabel(const QString &text) override { labels << text; }
    void setValue(int) override {}
    bool cancelled() override { return ++checks == cancelAtCheck; }
    void finish() override { events << name + " finish"; }

    void rangeOpened(quint32 recordCount, const LogRecord::Columns &columns) override
    {
        events << QString("opened %1 soil=%2 globe2=%3")
                      .arg(recordCount)
                      .arg(columns.soil)
                      .arg(columns.globeTemp2);
    }
    void fetchFinished(quint32 retryCount) override
    {
        events << QString("fetched, %1 retries").arg(retryCount);
    }
    void filesWritten(const QString &fileName) override
    {
        events << "written " + QFileInfo(fileName).fileName();
    }

private:
    const QString name;
    QStringList &events;
    int checks = 0;
};

} // namespace

// The download core on a port of its own, with no window: what it hands its
// progress and observer, and the outcome it reports to either front end.
class LogDownloaderTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<testenv::CoreSession> core;
    QString folder;
    QStringList events;
    OwnRecordStore store;

    OperationResult download(const QString &file, Recorder &fetch, Recorder &exporting)
    {
        return downloadLog(core->session, store.store(), true, file, fetch, exporting, fetch);
    }

    QStringList filesWritten() const
    {
        return QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot);
    }

private slots:
    void initTestCase() { testenv::isolateSettings(); }

    void init()
    {
        static int test = 0;
        folder = testenv::scratchDirectory() + QString("/core%1").arg(++test);
        QDir().mkpath(folder);
        events.clear();
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

    void completeDownloadEndsTheFetchBeforeTheExportBegins()
    {
        sim::module().addRecords(plainLog(40));
        sim::module().corruptRecord(2, sim::Corruption::Once);
        Recorder fetch("fetch", events);
        Recorder exporting("export", events);

        const OperationResult result = download(folder + "/Log.csv", fetch, exporting);
        QVERIFY(result.succeeded());
        QCOMPARE(result.message(), QString("Download complete."));
        QCOMPARE(events, (QStringList{"fetch range 0..40", "opened 40 soil=1 globe2=1",
                                      "fetch finish", "fetched, 1 retries", "export range 0..40",
                                      "export finish", "written Log.csv"}));
        QCOMPARE(fetch.labels.first(), QString("Downloading Log 0 of 40"));
        // The batch asked for again from the corrupted record counts from it.
        QCOMPARE(fetch.labels.last(), QString("Downloading Log 34 of 40"));
        QVERIFY(exporting.labels.isEmpty());
        QCOMPARE(filesWritten(), (QStringList{"Log-system.csv", "Log.csv"}));
        QCOMPARE(commandsSent().last(), 0x05);
    }

    void cancelEndsTheFetchWithNeitherFilesNorFinish()
    {
        sim::module().addRecords(plainLog(300));
        Recorder fetch("fetch", events);
        Recorder exporting("export", events);
        // Before the batch, at its first record, then at its 17th.
        fetch.cancelAtCheck = 3;

        const OperationResult result = download(folder + "/Log.csv", fetch, exporting);
        QCOMPARE(int(result.reason()), int(OperationResult::Reason::Cancelled));
        QVERIFY(result.message().isEmpty());
        // Left on screen for the front end to take down.
        QCOMPARE(events, (QStringList{"fetch range 0..300", "opened 300 soil=1 globe2=1"}));
        QCOMPARE(fetch.labels.last(), QString("Downloading Log 16 of 300"));
        QCOMPARE(fetchesSent(), (QList<Fetch>{{0, 128}}));
        QVERIFY(!commandsSent().contains(0x05));
        QVERIFY(filesWritten().isEmpty());
        QCOMPARE(sim::module().newRecordCount(), 300u);
    }

    void outcomesShortOfCompleteCarryTheWindowsTexts()
    {
        Recorder fetch("fetch", events);
        Recorder exporting("export", events);
        const OperationResult empty = download(folder + "/Empty.csv", fetch, exporting);
        QCOMPARE(int(empty.reason()), int(OperationResult::Reason::NothingNew));
        QCOMPARE(empty.message(), QString("Nothing new to download."));
        QVERIFY(events.isEmpty());

        // The files are in place although the module was not told.
        sim::module().addRecords(plainLog(20));
        sim::module().answerWrongCode(0, 1, 0x05);
        const OperationResult unfinished = download(folder + "/Log.csv", fetch, exporting);
        QCOMPARE(int(unfinished.reason()), int(OperationResult::Reason::Module));
        QCOMPARE(unfinished.message(), QString("Download failed."));
        QVERIFY(events.endsWith("written Log.csv"));
        QCOMPARE(filesWritten(), (QStringList{"Log-system.csv", "Log.csv"}));
        QCOMPARE(sim::module().newRecordCount(), 20u);
    }
};

QTEST_MAIN(LogDownloaderTest)
#include "tst_logdownloader.moc"
