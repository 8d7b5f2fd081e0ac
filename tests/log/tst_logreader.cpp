// Reading back the files the export writes, older files, and files the
// program did not write.
#include "core/operationprogress.h"
#include "log/logcsv.h"
#include "log/logreader.h"
#include "log/logrecord.h"
#include "log/logstore.h"
#include "sim/logrecords.h"
#include "tests/support/testenvironment.h"
#include "usb/wire.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>

#include <sys/stat.h>

namespace
{

void writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

qint64 secondsOf(const unsigned char *packed)
{
    const QDateTime time = LogRecord::unpackLogDateTime(packed);
    return time.isValid() ? time.toSecsSinceEpoch() : LogReader::NoTime;
}

// Exports the records through the store as a download does.
void exportRecords(const QString &path, const std::vector<sim::Record> &records,
                   const std::vector<int> &marked, quint32 retries)
{
    for (size_t i = 0; i < records.size(); ++i) {
        std::memcpy(LogStore[i], records[i].data(), LogRecord::Size);
        badChecksum[i] = 0;
    }
    for (int slot : marked)
        badChecksum[slot] = 1;
    LogRecord::Columns all;
    all.soil = all.solvane = all.globeTemp1 = all.globeTemp2 = true;
    NoProgress progress;
    QVERIFY(writeLogCsv(path, RecordStore::programWide(), quint32(records.size()), retries, all,
                        progress)
                .succeeded());
}

const QByteArray Header = LogRecord::measurementHeader({}).toUtf8() + "\r\n";
const QByteArray SystemHeader = LogRecord::systemHeader().toUtf8() + "\r\n";
const QByteArray Values28 = QByteArray("1,").repeated(28);

} // namespace

class LogReaderTest : public QObject
{
    Q_OBJECT

    QString folder;
    QString path(const QString &name) const { return folder + '/' + name; }

private slots:
    void init()
    {
        static int test = 0;
        folder = testenv::scratchDirectory() + QString("/reader%1").arg(++test);
        QDir().mkpath(folder);
    }

    void exportedFilesReadBackWithEveryColumnGroupAndMark()
    {
        sim::LogOptions options;
        options.everyBlockCombination = true;
        std::vector<sim::Record> records = sim::generateLog(400, 7, options);
        // An erased slot, a text that needs quoting across a line end, and an
        // impossible date.
        records.push_back(sim::erasedRecord());
        records.push_back(sim::makeTextRecord(900, {2024, 3, 9}, "door, \"open\"\r\nagain"));
        sim::Measurement m;
        m.temperature = 4.5f;
        records.push_back(sim::makeMeasurementRecord(901, {2024, 0, 9}, m));
        std::vector<int> marked = {3, int(records.size()) - 1};
        for (size_t i = 0; i < records.size() && marked.size() < 3; ++i)
            if (records[i][LogRecord::KindOffset] != LogRecord::Measurement)
                marked.push_back(int(i));
        const QString file = path("Log.csv");
        exportRecords(file, records, marked, 3);

        LogReader::Log log;
        QString error;
        QCOMPARE(LogReader::readLog(file, log, error), 0);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(log.columns.size(), size_t(28 + 12 + 2 + 2));
        QCOMPARE(log.columns.back().title, QString("WetBulb Globe Temperature 2"));
        QCOMPARE(log.retries, qint64(3));

        LogRecord::Columns all;
        all.soil = all.solvane = all.globeTemp1 = all.globeTemp2 = true;
        size_t m2 = 0, e = 0;
        int emptyFields = 0;
        for (size_t i = 0; i < records.size(); ++i) {
            const unsigned char *r = records[i].data();
            const bool bad = std::find(marked.begin(), marked.end(), int(i)) != marked.end();
            if (r[LogRecord::KindOffset] == LogRecord::Measurement) {
                QVERIFY(m2 < log.index.size());
                QCOMPARE(log.index[m2], getUInt32BE(r));
                QCOMPARE(log.time[m2], secondsOf(r + LogRecord::DateTimeOffset));
                QCOMPARE(bool(log.checksumError[m2]), bad);
                // Every value, printed again as the export prints it, gives
                // the line back; an absent block reads as empty fields.
                QStringList texts;
                for (const LogReader::Column &column : log.columns) {
                    const double v = column.values[m2];
                    texts << (std::isnan(v) ? QString() : LogRecord::realText(v));
                    emptyFields += std::isnan(v);
                }
                const QString line = LogRecord::measurementLine(r, all, false);
                QCOMPARE(texts.join(','), line.section(',', 2, -2));
                ++m2;
            } else {
                QVERIFY(e < log.events.size());
                const LogReader::Event &event = log.events[e++];
                QCOMPARE(event.index, getUInt32BE(r));
                QCOMPARE(event.time, secondsOf(r + LogRecord::DateTimeOffset));
                QCOMPARE(event.checksumError, bad);
                const bool clock = r[8] == 0 && r[9] == LogRecord::ClockUpdate;
                QCOMPARE(event.clockUpdate, clock);
                if (clock)
                    QCOMPARE(event.clockSetTo, secondsOf(r + 10));
            }
        }
        QCOMPARE(m2, log.index.size());
        QCOMPARE(e, log.events.size());
        QVERIFY(emptyFields > 0);
        QCOMPARE(log.time.back(), LogReader::NoTime);
        QCOMPARE(log.events.back().text, QString("Info, door, \"open\"\r\nagain"));
        QVERIFY(std::any_of(log.events.begin(), log.events.end(), [](const LogReader::Event &ev) {
            return ev.kind == LogReader::Event::Unknown && ev.time == LogReader::NoTime;
        }));
    }

    void linesWithoutTheDateCommaReadAsRecordsWithoutTime()
    {
        const QString file = path("old.csv");
        writeText(file, Header + "5,2024-03-01 10:00:00," + Values28 + "\r\n" + "6," + Values28 +
                            "\r\n" + "7," + Values28 + ",CHECKSUM ERROR\r\n");
        writeText(path("old-system.csv"), SystemHeader +
                                              "8,Info,0,Clock Update\r\n"
                                              "9,Unknown Record,CHECKSUM ERROR\r\n"
                                              "10,2024-03-01 10:05:00,Info,CHECKSUM ERROR\r\n"
                                              "Retries 0\r\n");
        LogReader::Log log;
        QString error;
        QCOMPARE(LogReader::readLog(file, log, error), 0);
        QCOMPARE(log.index, (std::vector<quint32>{5, 6, 7}));
        QVERIFY(log.time[0] != LogReader::NoTime);
        QCOMPARE(log.time[1], LogReader::NoTime);
        QCOMPARE(log.time[2], LogReader::NoTime);
        QCOMPARE(log.columns[27].values[1], 1.0);
        QCOMPARE(log.checksumError, (std::vector<char>{0, 0, 1}));
        QCOMPARE(log.events.size(), size_t(3));
        QVERIFY(log.events[0].clockUpdate);
        QCOMPARE(log.events[0].clockSetTo, LogReader::NoTime);
        QVERIFY(log.events[1].checksumError);
        // A text record whose text is the mark's words keeps them.
        QVERIFY(!log.events[2].checksumError);
        QCOMPARE(log.events[2].text, QString("Info, CHECKSUM ERROR"));
    }

    void systemFileGivenReadsItsMeasurementFile()
    {
        writeText(path("a.csv"), Header + "1,2024-03-01 10:00:00," + Values28 + "\r\n");
        writeText(path("a-system.csv"), SystemHeader + "Retries 2\r\n");
        LogReader::Log log;
        QString error;
        QCOMPARE(LogReader::readLog(path("a-system.csv"), log, error), 0);
        QCOMPARE(log.fileName, path("a.csv"));
        QCOMPARE(log.measurementCount(), 1);
        QCOMPARE(log.retries, qint64(2));
    }

    void foreignFilesGetAnErrorNamingTheLine_data()
    {
        QTest::addColumn<QByteArray>("measurements");
        QTest::addColumn<QByteArray>("system");
        QTest::addColumn<QString>("expected");
        const QByteArray good = Header + "1,2024-03-01 10:00:00," + Values28 + "\r\n";
        const QByteArray ok = SystemHeader + "Retries 0\r\n";
        QTest::newRow("empty") << QByteArray() << ok << "is empty";
        QTest::newRow("spreadsheet") << QByteArray("Date;Temp\r\n1;2\r\n") << ok << "line 1:";
        QTest::newRow("binary") << QByteArray("\x00\xff\x13\n\x01", 5) << ok << "line 1:";
        QTest::newRow("short line") << Header + "1,2024-03-01 10:00:00,1,2\r\n" << ok << "line 2:";
        QTest::newRow("not a number")
            << good + "2,2024-03-01 10:10:00,x," + QByteArray("1,").repeated(27) + "\r\n"
            << ok << "line 3:";
        QTest::newRow("bad date") << Header + "1,2024-02-30 10:00:00," + Values28 + "\r\n"
                                  << ok << "line 2:";
        QTest::newRow("system header") << good << QByteArray("Index,Text\r\n") << "line 1:";
        QTest::newRow("open quote")
            << good << SystemHeader + "4,2024-03-01 10:00:00,Info,\"no end\r\nRetries 0\r\n"
            << "line 2:";
        QTest::newRow("no retries") << good << SystemHeader + "4,2024-03-01 10:00:00,Info,x\r\n"
                                    << "Retries";
        QTest::newRow("after retries")
            << good << SystemHeader + "Retries 0\r\n4,2024-03-01 10:00:00,Info,x\r\n"
            << "line 3:";
        QTest::newRow("unknown kind")
            << good << SystemHeader + "4,2024-03-01 10:00:00,Warning,x\r\nRetries 0\r\n"
            << "line 2:";
        // What is wrong, in words.
        QTest::newRow("a value short")
            << good + "2,2024-03-01 10:10:00," + QByteArray("1,").repeated(27) + "\r\n"
            << ok << "f.csv, line 3: the line has 30 fields; this log's lines have 31.";
        QTest::newRow("impossible date")
            << Header + "1,2024-02-30 10:00:00," + Values28 + "\r\n"
            << ok << "line 2: '2024-02-30 10:00:00' is not a date and time";
        QTest::newRow("kind in words")
            << good << SystemHeader + "4,2024-03-01 10:00:00,Warning,x\r\nRetries 0\r\n"
            << "'Warning' is neither a date nor a kind of record";
        // A cut line that is not the last, or a last line that has its end.
        QTest::newRow("cut line inside")
            << Header + "1,2024-03-01 10:00:00,1,2\r\n" + good.mid(Header.size()) << ok
            << "line 2:";
        QTest::newRow("short last line with its end") << good + "2,2024-03-01 10:10:00,1,2\r\n"
                                                      << ok << "line 3:";
        QTest::newRow("system file without its last line")
            << good << SystemHeader + "4,2024-03-01 10:00:00,Info,x\r\n"
            << "Retries";
    }

    void foreignFilesGetAnErrorNamingTheLine()
    {
        QFETCH(QByteArray, measurements);
        QFETCH(QByteArray, system);
        QFETCH(QString, expected);
        writeText(path("f.csv"), measurements);
        writeText(path("f-system.csv"), system);
        LogReader::Log log;
        QString error;
        QCOMPARE(LogReader::readLog(path("f.csv"), log, error), -1);
        QVERIFY2(error.contains(expected), qPrintable(error));

        QCOMPARE(LogReader::readLog(path("missing.csv"), log, error), -1);
        QVERIFY(error.contains("missing.csv"));
    }

    // A copy or a download broken off leaves a last line without its end:
    // the lines before it are read, the cut one is named.
    void cutLastLinesAreLeftOutAndNamed()
    {
        const QByteArray line = "1,2024-03-01 10:00:00," + Values28 + "\r\n";
        writeText(path("cut.csv"), Header + line + "2,2024-03-01 10:10:00,1,2,3.");
        writeText(path("cut-system.csv"),
                  SystemHeader + "3,2024-03-01 10:05:00,Info,x\r\n4,2024-03-01 10:06:00,Err");
        LogReader::Log log;
        QString error;
        QCOMPARE(LogReader::readLog(path("cut.csv"), log, error), 0);
        QCOMPARE(log.measurementCount(), 1);
        QCOMPARE(log.columns[0].values.size(), size_t(1));
        QCOMPARE(log.events.size(), size_t(1));
        QCOMPARE(log.retries, qint64(-1));
        QCOMPARE(log.cutLines.size(), size_t(2));
        QCOMPARE(log.cutLines[0].fileName, path("cut.csv"));
        QCOMPARE(log.cutLines[0].line, 3);
        QCOMPARE(log.cutLines[0].text, QString("2,2024-03-01 10:10:00,1,2,3."));
        QCOMPARE(log.cutLines[1].fileName, path("cut-system.csv"));
        QCOMPARE(log.cutLines[1].line, 3);

        // The "Retries" line itself without its end is whole.
        writeText(path("cut-system.csv"), SystemHeader + "Retries 4");
        QCOMPARE(LogReader::readLog(path("cut.csv"), log, error), 0);
        QCOMPARE(log.retries, qint64(4));
        QCOMPARE(log.cutLines.size(), size_t(1));
    }

    // A FIFO would block the read for ever, a folder or a device is no log:
    // each is refused before it is opened for reading.
    void whatIsNotARegularFileIsRefusedAtOnce()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString fifo = dir.filePath("fifo.csv");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QDir().mkpath(dir.filePath("folder.csv"));
        writeText(dir.filePath("log.csv"), Header + "1,2024-03-01 10:00:00," + Values28 + "\r\n");
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("log-system.csv")).constData(), 0600), 0);

        const struct {
            QString file;
            QString error;
        } cases[] = {
            {fifo, fifo + " is a FIFO, not a log file; nothing was read."},
            {dir.filePath("folder.csv"), dir.filePath("folder.csv") + " is a folder"},
            {dir.filePath("log.csv"), dir.filePath("log-system.csv") + " is a FIFO"},
        };
        for (const auto &c : cases) {
            LogReader::Log log;
            QString error;
            QCOMPARE(LogReader::readLog(c.file, log, error), -1);
            QVERIFY2(error.startsWith(c.error), qPrintable(error));
            QCOMPARE(log.measurementCount(), 0);
        }
    }

    // Prints what loading a full store takes; the figure is for the note,
    // the test only asserts that everything was read.
    void fullStoreLoads()
    {
        sim::LogOptions options;
        options.soil = options.solvane = true;
        options.globe1 = true;
        options.intervalSeconds = 60;
        const std::vector<sim::Record> records =
            sim::generateLog(LogRecord::StoreCapacity, 11, options);
        const QString file = path("full.csv");
        exportRecords(file, records, {}, 0);
        QElapsedTimer timer;
        timer.start();
        LogReader::Log log;
        QString error;
        QCOMPARE(LogReader::readLog(file, log, error), 0);
        const qint64 ms = timer.elapsed();
        QCOMPARE(log.measurementCount() + int(log.events.size()), LogRecord::StoreCapacity);
        qInfo("full store: %d records, %lld bytes, read in %lld ms", LogRecord::StoreCapacity,
              QFileInfo(file).size() + QFileInfo(log.systemFileName).size(), ms);
    }
};

QTEST_GUILESS_MAIN(LogReaderTest)
#include "tst_logreader.moc"
