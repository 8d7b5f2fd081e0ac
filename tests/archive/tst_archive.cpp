// The local archive on a real SQLite file: what a download leaves there, and
// what comes back out of it.
#include "archive/archivedatabase.h"
#include "archive/archivelocation.h"
#include "archive/archivequeries.h"
#include "archive/history.h"
#include "archive/import.h"
#include "archive/ingest.h"
#include "archive/stationstate.h"
#include "archive/visitrecord.h"
#include "core/operationprogress.h"
#include "log/healthcheck.h"
#include "log/logcsv.h"
#include "log/logstore.h"
#include "sim/logrecords.h"

#include <QDateTime>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <memory>

namespace
{

constexpr quint32 Serial = 20471;

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

class ArchiveTest : public QObject
{
    Q_OBJECT

    QTemporaryDir folder;
    std::unique_ptr<archive::Database> database;
    std::vector<sim::Record> log;
    OwnRecordStore own;

    // Puts records first .. first + count - 1 of the log into the store's
    // first slots, as a download of them leaves it.
    RecordStore fill(int first, int count, const std::vector<int> &marked = {})
    {
        const RecordStore store = own.store();
        for (int slot = 0; slot < count; ++slot) {
            std::memcpy(store.records[slot], log[size_t(first + slot)].data(), LogRecord::Size);
            store.badChecksum[slot] = 0;
        }
        for (int slot : marked) {
            // Kept after its checksum failed twice: its bytes are not the clean ones.
            store.records[slot][40] ^= 0x5A;
            store.badChecksum[slot] = 1;
        }
        return store;
    }

    qint64 ingest(const RecordStore &store, quint32 count, bool full = true)
    {
        archive::DownloadFacts facts;
        facts.serial = Serial;
        facts.stationId = "Ridge North";
        facts.downloadedAt = 1765000000000;
        facts.full = full;
        facts.recordCount = count;
        archive::IngestSummary summary;
        const OperationResult result = archive::archiveDownload(*database, facts, store, summary);
        if (result.failed())
            qWarning("%s", qPrintable(result.message()));
        return result.succeeded() ? summary.newRecords : -1;
    }

    qint64 history()
    {
        QVector<archive::StationSummary> stations;
        if (archive::listStations(*database, stations).failed() || stations.size() != 1)
            return -1;
        return stations.first().records;
    }

private slots:
    void init()
    {
        QVERIFY(archive::Database::openLocal(folder.filePath("a/archive.sqlite"), database)
                    .succeeded());
        sim::LogOptions options;
        options.events = false;
        log = sim::generateLog(200, 7, options);
    }

    void cleanup()
    {
        database.reset();
        QFile::remove(folder.filePath("a/archive.sqlite"));
    }

    void downloadsKeepEachRecordOnceAndEveryDownloadWhole()
    {
        // Readable by its user only.
        const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(QFile::permissions(folder.filePath("a/archive.sqlite")) & others,
                 QFile::Permissions());
        // Full, then new, then full again: the union, nothing twice.
        QCOMPARE(ingest(fill(0, 120), 120), 120);
        QCOMPARE(ingest(fill(120, 50), 50, false), 50);
        QCOMPARE(ingest(fill(0, 170), 170), 0);
        QCOMPARE(history(), 170);
        QVector<archive::DownloadSummary> downloads;
        QVERIFY(archive::listDownloads(*database, Serial, downloads).succeeded());
        QCOMPARE(downloads.size(), 3);
        QCOMPARE(downloads[1].recordCount, 50u);
        QVERIFY(!downloads[1].full);

        // Each download comes back as its own files, byte for byte.
        const RecordStore store = fill(0, 170);
        NoProgress progress;
        LogRecord::Columns columns;
        QVERIFY(writeLogCsv(folder.filePath("direct.csv"), store, 170, 0, columns, progress)
                    .succeeded());
        QVERIFY(archive::exportDownload(*database, downloads[2].id, folder.filePath("again.csv"))
                    .succeeded());
        QCOMPARE(fileBytes(folder.filePath("again.csv")), fileBytes(folder.filePath("direct.csv")));
        QCOMPARE(fileBytes(folder.filePath("again-system.csv")),
                 fileBytes(folder.filePath("direct-system.csv")));
    }

    void aCleanCopyTakesThePlaceOfAMarkedOne()
    {
        // A marked copy first: it stands in the history for its record ...
        QCOMPARE(ingest(fill(0, 10, {4}), 10), 10);
        // ... until the clean copy comes, which replaces it, not adds to it.
        QCOMPARE(ingest(fill(0, 10), 10), 0);
        QCOMPARE(history(), 10);
        // A marked copy after the clean one never enters the history.
        QCOMPARE(ingest(fill(0, 10, {6}), 10), 0);
        QCOMPARE(history(), 10);
        QSqlQuery marked(database->connection());
        QVERIFY(marked.exec("SELECT COUNT(*) FROM records WHERE in_history = 1 AND "
                            "bad_checksum = 1"));
        QVERIFY(marked.next());
        QCOMPARE(marked.value(0).toInt(), 0);
    }

    void theHistoryComesOutOnceInTimeOrderAndRemovalRestoresIt()
    {
        // Two downloads that overlap, the later one with a marked copy that
        // the earlier one holds clean.
        QCOMPARE(ingest(fill(0, 30), 30), 30);
        QCOMPARE(ingest(fill(20, 30, {5}), 30), 20);
        qint64 written = 0;
        QVERIFY(archive::exportStation(*database, Serial, archive::NoLimit, archive::NoLimit,
                                       folder.filePath("history.csv"), written)
                    .succeeded());
        QCOMPARE(written, 50);
        // The same records downloaded whole in one go give the same files.
        NoProgress progress;
        QVERIFY(writeLogCsv(folder.filePath("whole.csv"), fill(0, 50), 50, 0, {}, progress)
                    .succeeded());
        QCOMPARE(fileBytes(folder.filePath("history.csv")),
                 fileBytes(folder.filePath("whole.csv")));

        // A range of the module's time: the first ten measurements.
        const qint64 start = QDateTime(QDate(2024, 3, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
        QVERIFY(archive::exportStation(*database, Serial, start, start + 9 * 600,
                                       folder.filePath("ten.csv"), written)
                    .succeeded());
        QCOMPARE(written, 10);

        // Without the first download, the marked copy is all there is of its record.
        QVERIFY(archive::removeDownload(*database, 1).succeeded());
        QCOMPARE(history(), 30);
        QVERIFY(archive::removeDownload(*database, 1).failed());

        // A backup is an archive of its own with the same history.
        QVERIFY(archive::backUp(*database, folder.filePath("copy.sqlite")).succeeded());
        QVERIFY(archive::backUp(*database, folder.filePath("copy.sqlite")).failed());
        std::unique_ptr<archive::Database> copy;
        QVERIFY(archive::Database::openLocal(folder.filePath("copy.sqlite"), copy).succeeded());
        QVector<archive::StationSummary> stations;
        QVERIFY(archive::listStations(*copy, stations).succeeded());
        QCOMPARE(stations.value(0).records, 30);
    }

    void aStretchNoDownloadBroughtIsAGap()
    {
        QCOMPARE(ingest(fill(0, 20), 20), 20);
        QCOMPARE(ingest(fill(35, 15), 15), 15);
        std::vector<qint64> times;
        QVERIFY(archive::measurementTimes(*database, Serial, times).succeeded());
        qint64 usual = 0;
        const std::vector<HealthCheck::Gap> gaps = HealthCheck::findGaps(times, usual);
        QCOMPARE(usual, 600);
        QCOMPARE(gaps.size(), size_t(1));
        QCOMPARE(gaps[0].to - gaps[0].from, 16 * 600);
    }

    void anImportedPairComesBackWholeAndMeetsItsRecordsWhenTheyAreDownloaded()
    {
        // Files a Talvik wrote before the archive, with one marked record.
        sim::LogOptions withEvents;
        log = sim::generateLog(200, 9, withEvents);
        const RecordStore store = fill(0, 80, {7});
        NoProgress progress;
        LogRecord::Columns columns;
        columns.soil = true;
        QVERIFY(
            writeLogCsv(folder.filePath("old.csv"), store, 80, 2, columns, progress).succeeded());
        archive::ImportSummary imported;
        QVERIFY(archive::importLog(*database, folder.filePath("old-system.csv"), Serial, imported)
                    .succeeded());
        QCOMPARE(imported.lines, 80);
        const qint64 kept = history();
        QVERIFY(
            archive::exportDownload(*database, imported.downloadId, folder.filePath("again.csv"))
                .succeeded());
        QCOMPARE(fileBytes(folder.filePath("again.csv")), fileBytes(folder.filePath("old.csv")));
        QCOMPARE(fileBytes(folder.filePath("again-system.csv")),
                 fileBytes(folder.filePath("old-system.csv")));

        // The same records from the module print to those lines: nothing new,
        // and the marked one is replaced by its clean copy.
        QCOMPARE(ingest(fill(0, 80), 80), 0);
        QCOMPARE(history(), kept);
        QSqlQuery lines(database->connection());
        QVERIFY(
            lines.exec("SELECT COUNT(*) FROM records WHERE in_history = 1 AND line IS NOT NULL"));
        QVERIFY(lines.next());
        QCOMPARE(lines.value(0).toInt(), 0);
        // A file that is not a Talvik pair is refused.
        QVERIFY(
            archive::importLog(*database, folder.filePath("none.csv"), Serial, imported).failed());
    }

    void erasedSlotsBelongOnlyToTheirDownload()
    {
        RecordStore store = fill(0, 5);
        const sim::Record erased = sim::erasedRecord();
        std::memcpy(store.records[3], erased.data(), LogRecord::Size);
        std::memcpy(store.records[4], erased.data(), LogRecord::Size);
        QCOMPARE(ingest(store, 5), 3);
        QCOMPARE(history(), 3);
    }

    // An archive of the first version, with its downloads, gains the visits
    // and the stations' summaries of what it holds.
    void anOlderArchiveIsBroughtUpKeepingWhatItHolds()
    {
        QCOMPARE(ingest(fill(0, 4), 4), 4);
        QSqlQuery older(database->connection());
        QVERIFY(older.exec("DROP TABLE visit_actions") && older.exec("DROP TABLE visits") &&
                older.exec("DROP TABLE station_summaries") &&
                older.exec("UPDATE archive_schema SET version = 1"));
        database.reset();
        QVERIFY(archive::Database::openLocal(folder.filePath("a/archive.sqlite"), database)
                    .succeeded());
        QCOMPARE(history(), 4);
        QVector<archive::StationSummary> stations;
        QVERIFY(archive::listStations(*database, stations).succeeded());
        QVERIFY(stations.value(0).health.known);
        qint64 visitId = 0;
        QVERIFY(archive::startVisit(*database, archive::visitFactsFor(Serial, "", "talvik", false),
                                    visitId)
                    .succeeded());
        QSqlQuery version(database->connection());
        QVERIFY(version.exec("SELECT version FROM archive_schema") && version.next());
        QCOMPARE(version.value(0).toInt(), archive::SchemaVersion);
    }

    // A station's state follows its own rhythm: downloads every day here.
    void theStateFollowsEachStationsRhythm_data()
    {
        QTest::addColumn<QVector<qint64>>("hoursAgo");
        QTest::addColumn<QVector<bool>>("broughtRecords");
        QTest::addColumn<int>("state");
        using S = archive::StationState;
        QTest::newRow("on time") << QVector<qint64>{72, 48, 24, 1} << QVector<bool>{1, 1, 1, 1}
                                 << int(S::OnTime);
        QTest::newRow("a day and a half")
            << QVector<qint64>{88, 64, 40} << QVector<bool>{1, 1, 1} << int(S::OnTime);
        QTest::newRow("late") << QVector<qint64>{120, 96, 72} << QVector<bool>{1, 1, 1}
                              << int(S::Late);
        QTest::newRow("empty downloads keep the rhythm, not the age")
            << QVector<qint64>{120, 96, 72, 48, 1} << QVector<bool>{1, 1, 1, 0, 0} << int(S::Late);
        QTest::newRow("missing") << QVector<qint64>{200, 176, 152} << QVector<bool>{1, 1, 1}
                                 << int(S::Missing);
        QTest::newRow("one download")
            << QVector<qint64>{500} << QVector<bool>{1} << int(S::Unknown);
        QTest::newRow("none") << QVector<qint64>{} << QVector<bool>{} << int(S::Unknown);
    }

    void theStateFollowsEachStationsRhythm()
    {
        QFETCH(QVector<qint64>, hoursAgo);
        QFETCH(QVector<bool>, broughtRecords);
        QFETCH(int, state);
        const qint64 now = 1765000000000;
        std::vector<archive::DownloadMoment> downloads;
        for (int i = 0; i < hoursAgo.size(); ++i)
            downloads.push_back({now - hoursAgo[i] * 3600000, broughtRecords[i]});
        QCOMPARE(int(archive::collectionRhythm(downloads, now).state), state);
    }

    // The board's view of the last week, kept as records come and go: a
    // battery that loses 96 mV a day, a humidity out of range in the week
    // before that week (not counted), then one inside it.
    void theLastWeekIsJudgedAsRecordsComeAndGo()
    {
        const auto measurement = [](int h) {
            sim::Measurement m;
            m.wind = float(3 + 2 * std::sin(h * 0.7));
            m.wind2Min = float(3 + 2 * std::sin(h * 0.7 + 1));
            m.wind10Min = float(3 + 2 * std::sin(h * 0.7 + 2));
            m.gust = m.wind + 2;
            m.direction = m.direction2Min = m.direction10Min = m.gustDirection =
                std::int16_t(h * 37 % 360);
            m.temperature = float(10 + 8 * std::sin(h * 2 * M_PI / 24));
            m.pressureTemperature = m.temperature + 1;
            m.humidity = h == 30 ? 150 : float(60 + 20 * std::cos(h * 2 * M_PI / 24));
            m.pressure = float(1010 + 3 * std::sin(h * 0.13));
            m.batteryMillivolts = std::int16_t(12800 - 4 * h);
            m.inputMillivolts = 14000;
            return m;
        };
        const sim::LogTime start{2024, 3, 1, 0, 0, 0};
        log.clear();
        for (int h = 0; h < 12 * 24; ++h)
            log.push_back(sim::makeMeasurementRecord(quint32(h), sim::addSeconds(start, h * 3600LL),
                                                     measurement(h)));
        sim::Measurement wet = measurement(250);
        wet.humidity = 150;
        log.push_back(
            sim::makeMeasurementRecord(1000, sim::addSeconds(start, 250 * 3600LL + 1800), wet));
        const auto health = [&] {
            QVector<archive::StationSummary> stations;
            if (archive::listStations(*database, stations).failed() || stations.size() != 1)
                return archive::StationHealth();
            return stations.first().health;
        };
        QCOMPARE(ingest(fill(0, 200), 200), 200);
        QCOMPARE(ingest(fill(200, 88), 88, false), 88);
        archive::StationHealth week = health();
        QVERIFY(week.known);
        QCOMPARE(week.findings, 1);
        QCOMPARE(week.worst, QString("battery-falling (Battery Voltage)"));
        QCOMPARE(archive::batteryText(week.battery), QString("11.65 V"));
        QCOMPARE(archive::trendText(week.batteryPerDay), QString("-0.096 V/day"));

        // A humidity out of range inside the week counts; the battery is
        // still the worst.
        QCOMPARE(ingest(fill(288, 1), 1, false), 1);
        week = health();
        QCOMPARE(week.findings, 2);
        QCOMPARE(week.worst, QString("battery-falling (Battery Voltage)"));

        // Without that download the week is as it was.
        QVERIFY(archive::removeDownload(*database, 3).succeeded());
        QCOMPARE(health().findings, 1);
    }

    void anArchiveFromANewerTalvikIsRefused()
    {
        QSqlQuery newer(database->connection());
        QVERIFY(newer.exec("UPDATE archive_schema SET version = 99"));
        database.reset();
        const OperationResult refused =
            archive::Database::openLocal(folder.filePath("a/archive.sqlite"), database);
        QVERIFY(refused.failed());
        QVERIFY2(refused.message().contains("newer Talvik"), qPrintable(refused.message()));
        QVERIFY(!database);
    }

    void theEnvironmentOverridesThePreference()
    {
        qputenv("TALVIK_ARCHIVE", "off");
        QVERIFY(!archive::localArchive(true, false).enabled);
        qputenv("TALVIK_ARCHIVE", "/tmp/elsewhere.sqlite");
        QCOMPARE(archive::localArchive(false, false).path, QString("/tmp/elsewhere.sqlite"));
        qunsetenv("TALVIK_ARCHIVE");
        qputenv("XDG_DATA_HOME", "/data");
        QCOMPARE(archive::localArchive(true, true).path,
                 QString("/data/Norvale/Talvik/archive-demo.sqlite"));
        QVERIFY(!archive::localArchive(false, false).enabled);
    }
};

QTEST_MAIN(ArchiveTest)
#include "tst_archive.moc"
