#include "log/logcsv.h"
#include "log/logrecord.h"
#include "log/logstore.h"
#include "log/numbertext.h"
#include "sim/logrecords.h"
#include "core/operationprogress.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

using LogRecord::Columns;

Q_DECLARE_METATYPE(Columns)

namespace
{

const sim::LogTime Stamp{2024, 3, 5, 14, 7, 9};

// A measurement whose every column prints differently, including the
// unsigned index, negative integers and every special real.
sim::Measurement sampleMeasurement()
{
    sim::Measurement m;
    m.wind = 3.5f;
    m.direction = -1;
    m.wind2Min = 0.1f;
    m.direction2Min = 359;
    m.wind10Min = 2.5e6f;
    m.direction10Min = 0;
    m.gust = 1.5e-5f;
    m.gustDirection = 32767;
    m.wdsStatus = -32768;
    m.temperature = 20.5f;
    m.humidity = 101.325f;
    m.pressure = 1013.25f;
    m.pressureTemperature = -0.0f;
    m.trend = 2;
    m.tphStatus = 0;
    m.rainIncrement = std::numeric_limits<float>::quiet_NaN();
    m.rainDay = std::numeric_limits<float>::infinity();
    m.rainRate = -std::numeric_limits<float>::infinity();
    m.analog1 = 123456.7f;
    m.analog2 = -12.25f;
    m.batteryMillivolts = 420;
    m.inputMillivolts = 12345;
    m.chargerStatus = -3;
    m.moduleTemperature = 25;
    m.lightningStrikes = 7;
    m.lightningDistance = 12;
    m.lightningNoise = 1;
    m.lightningDisturber = 0;
    return m;
}

const QString SampleFields = "3.5,-1,0.1,359,2.5e+06,0,1.5e-05,32767,-32768,20.5,101.325,"
                             "1013.25,0,2,0,nan,inf,-inf,123457,-12.25,0.42,12.345,-3,25,7,12,"
                             "1,0,";
const QString SampleColumns = "4000000000,2024-03-05 14:07:09," + SampleFields;

sim::SoilBlock sampleSoil()
{
    sim::SoilBlock soil;
    soil.moisture = {1, -2, 250, -250, 10000, 0};
    soil.temperature = {3333, -1, 32767, -32768, 5, 100};
    return soil;
}

const QString SoilText = "0.01,-0.02,2.5,-2.5,100,0,33.33,-0.01,327.67,-327.68,0.05,1,";
const QString SolvaneText = "12.5,-3,";
const QString Globe1Text = "25.5,";
const QString Globe2Text = "30.25,";
const QString NoSoil = ",,,,,,,,,,,,";

Columns columnsOf(const QString &switches)
{
    Columns columns;
    columns.soil = switches.contains('S');
    columns.solvane = switches.contains('V');
    columns.globeTemp1 = switches.contains('1');
    columns.globeTemp2 = switches.contains('2');
    return columns;
}

QString line(const sim::Record &record, const Columns &columns = {}, bool bad = false)
{
    return LogRecord::measurementLine(record.data(), columns, bad);
}

// Puts the records into the log store from slot 0, the marked ones as kept
// with a failed checksum.
void fillStore(const std::vector<sim::Record> &records, const std::vector<int> &marked = {})
{
    for (size_t slot = 0; slot < records.size(); ++slot) {
        std::copy(records[slot].begin(), records[slot].end(), LogStore[slot]);
        badChecksum[slot] = std::count(marked.begin(), marked.end(), int(slot)) ? 1 : 0;
    }
}

QByteArray fileBytes(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// Writes down every call, so a test can compare the whole sequence.
class RecordingProgress : public OperationProgress
{
public:
    void setRange(int minimum, int maximum) override
    {
        calls << QString("range %1 %2").arg(minimum).arg(maximum);
    }
    void setLabel(const QString &text) override { calls << "label " + text; }
    void setValue(int value) override { calls << QString("value %1").arg(value); }
    void letEventsRun() override { calls << "events"; }
    bool cancelled() override
    {
        calls << "cancel?";
        return false;
    }
    void finish() override { calls << "finish"; }

    QStringList calls;
};

} // namespace

class LogRecordTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A zone with a daylight-saving gap: log times must not move with it.
        qputenv("TZ", "Europe/Berlin");
    }

    void checksumSumsSignedBytes()
    {
        sim::Record record{};
        record[0] = 0x80; // counts -128, not 128
        record[1] = 0x01;
        record[125] = 0xFF; // counts -1
        record[126] = 0x12; // the checksum bytes are not summed
        QCOMPARE(LogRecord::checksum(record.data()), quint16(0xFF80));
        QVERIFY(!LogRecord::checksumMatches(record.data()));
        record[126] = 0xFF;
        record[127] = 0x80;
        QVERIFY(LogRecord::checksumMatches(record.data()));

        const std::vector<sim::Record> log = sim::generateLog(200, 7);
        for (const sim::Record &generated : log)
            QCOMPARE(LogRecord::checksum(generated.data()), sim::recordChecksum(generated));

        QVERIFY(LogRecord::isErased(sim::erasedRecord().data()));
        QVERIFY(!LogRecord::isErased(log[0].data()));
    }

    void datesPrintAsStoredOrAsAnEmptyField_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("day");
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<int>("second");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << 2024 << 3 << 5 << 14 << 7 << 9 << "2024-03-05 14:07:09,";
        QTest::newRow("in the spring gap")
            << 2024 << 3 << 31 << 2 << 30 << 0 << "2024-03-31 02:30:00,";
        QTest::newRow("leap day") << 2024 << 2 << 29 << 1 << 2 << 3 << "2024-02-29 01:02:03,";
        QTest::newRow("no leap day") << 2023 << 2 << 29 << 1 << 2 << 3 << ",";
        QTest::newRow("month 0") << 2024 << 0 << 5 << 1 << 2 << 3 << ",";
        QTest::newRow("month 13") << 2024 << 13 << 5 << 1 << 2 << 3 << ",";
        QTest::newRow("day 0") << 2024 << 4 << 0 << 1 << 2 << 3 << ",";
        QTest::newRow("April 31") << 2024 << 4 << 31 << 1 << 2 << 3 << ",";
        QTest::newRow("hour 24") << 2024 << 4 << 30 << 24 << 2 << 3 << "2024-04-30 00:00:00,";
        QTest::newRow("second 63") << 2024 << 4 << 30 << 5 << 6 << 63 << "2024-04-30 00:00:00,";
    }

    void datesPrintAsStoredOrAsAnEmptyField()
    {
        QFETCH(int, year);
        QFETCH(int, month);
        QFETCH(int, day);
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(int, second);
        QFETCH(QString, text);
        unsigned char packed[4];
        const std::uint32_t value =
            sim::packLogTime(sim::LogTime{year, month, day, hour, minute, second});
        for (int i = 0; i < 4; ++i)
            packed[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
        QCOMPARE(LogRecord::dateTimeText(packed), text);
        const QDateTime unpacked = LogRecord::unpackLogDateTime(packed);
        QCOMPARE(unpacked.isValid(), text != ",");
        if (unpacked.isValid())
            QCOMPARE(unpacked.time().msec(), 0);
    }

    void realsPrintWithSixDigits_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("20.5") << 20.5 << "20.5";
        QTest::newRow("101.325") << 101.325 << "101.325";
        QTest::newRow("2.5 million") << 2.5e6 << "2.5e+06";
        QTest::newRow("1.5e-5") << 1.5e-5 << "1.5e-05";
        QTest::newRow("0.1 single") << double(0.1f) << "0.1";
        QTest::newRow("rounds up into fixed") << 0.000099999951 << "0.0001";
        QTest::newRow("rounds up into exponent") << 999999.7 << "1e+06";
        QTest::newRow("tie away from zero") << 100000.5 << "100001";
        QTest::newRow("negative tie") << -100000.5 << "-100001";
        QTest::newRow("tie in exponent form") << 1234565.0 << "1.23457e+06";
        QTest::newRow("tie of a single") << 123456.5 << "123457";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "nan";
        QTest::newRow("negative nan") << -std::numeric_limits<double>::quiet_NaN() << "nan";
        QTest::newRow("inf") << std::numeric_limits<double>::infinity() << "inf";
        QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << "-inf";
    }

    void realsPrintWithSixDigits()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(LogRecord::realText(value), text);
    }

    void headersNameEveryColumn()
    {
        const QString base =
            "Index,Date/Time (UTC),Wind,Direction,Wind 2 min,Direction 2 min,Wind 10 min,"
            "Direction 10 min,Gust,Gust Direction,WDS Status,Temperature,Humidity,Pressure,"
            "Pressure Temperature,Trend,TPH Status,Rain Inc,Rain Day,Rain Rate,Analog 1,"
            "Analog 2,Battery Voltage,Input Voltage,Charger Status,CM Temperature,"
            "Lightning Strikes,Lightning Distance,Lightning Noise,Lightning Disturber";
        QCOMPARE(LogRecord::measurementHeader(Columns{}), base);
        QCOMPARE(LogRecord::measurementHeader(columnsOf("SV12")),
                 base +
                     ",Soil Mosture 1,Soil Mosture 2,Soil Mosture 3,Soil Mosture 4,Soil Mosture "
                     "5,Soil Mosture 6,Soil Temp 1,Soil Temp 2,Soil Temp 3,Soil Temp 4,Soil Temp "
                     "5,Soil Temp 6,Solvane Filtered,Solvane Sensor,WetBulb Globe "
                     "Temperature,WetBulb Globe Temperature");
        QCOMPARE(LogRecord::measurementHeader(columnsOf("2")), base + ",WetBulb Globe Temperature");
        QCOMPARE(LogRecord::systemHeader(), QString("Index,Date/Time (UTC),System Information"));
    }

    void everyColumnCombinationKeepsLinesAndHeaderInStep()
    {
        // Whatever the switches and whichever blocks a record carries, a
        // measurement line has one field more than its header (the last one
        // empty), so no column ever slides under another's title.
        for (int switches = 0; switches < 16; ++switches) {
            Columns columns;
            columns.soil = switches & 1;
            columns.solvane = switches & 2;
            columns.globeTemp1 = switches & 4;
            columns.globeTemp2 = switches & 8;
            const int titles = LogRecord::measurementHeader(columns).split(',').size();
            for (int blocks = 0; blocks < 16; ++blocks) {
                sim::Measurement m = sampleMeasurement();
                if (blocks & 1)
                    m.soil = sampleSoil();
                if (blocks & 2)
                    m.solvane = sim::SolvaneBlock{125, -30};
                if (blocks & 4)
                    m.globe1 = 25.5f;
                if (blocks & 8)
                    m.globe2 = 30.25f;
                const QString text =
                    line(sim::makeMeasurementRecord(4000000000u, Stamp, m), columns);
                QVERIFY2(text.startsWith(SampleColumns), qPrintable(text));
                QCOMPARE(text.split(',').size(), titles + 1);
                QVERIFY(text.endsWith(','));
            }
        }
    }

    void optionalBlocksAreFoundAtTheMovingPosition_data()
    {
        QTest::addColumn<QString>("switches");
        QTest::addColumn<QString>("blocks"); // written from byte 91 in this order
        QTest::addColumn<QString>("tail");
        QTest::newRow("switches off, blocks present") << ""
                                                      << "SV"
                                                      << "";
        QTest::newRow("soil") << "S"
                              << "S" << SoilText;
        QTest::newRow("soil missing") << "S"
                                      << "" << NoSoil;
        QTest::newRow("solvane") << "V"
                                 << "V" << SolvaneText;
        QTest::newRow("solvane looked for at 91 when soil is off") << "V"
                                                                   << "SV"
                                                                   << ",,";
        QTest::newRow("soil missing, solvane at 91") << "SV"
                                                     << "V" << NoSoil + SolvaneText;
        QTest::newRow("solvane after soil reaches the checksum") << "SV"
                                                                 << "SV" << SoilText + ",,";
        QTest::newRow("soil and globe fill the record") << "S1"
                                                        << "S1" << SoilText + Globe1Text;
        QTest::newRow("second globe after soil has no room")
            << "S12"
            << "S12" << SoilText + Globe1Text + ",";
        QTest::newRow("first globe takes the only globe block") << "12"
                                                                << "2"
                                                                << "30.25,,";
        QTest::newRow("second globe alone") << "2"
                                            << "2" << Globe2Text;
        QTest::newRow("globe missing") << "1"
                                       << "V"
                                       << ",";
        QTest::newRow("all but soil") << "SV12"
                                      << "V12" << NoSoil + SolvaneText + Globe1Text + Globe2Text;
        QTest::newRow("all missing") << "SV12"
                                     << "" << NoSoil + ",,,,";
        QTest::newRow("all present") << "SV12"
                                     << "SV12" << SoilText + ",,,,";
    }

    void optionalBlocksAreFoundAtTheMovingPosition()
    {
        QFETCH(QString, switches);
        QFETCH(QString, blocks);
        QFETCH(QString, tail);
        sim::Measurement m = sampleMeasurement();
        if (blocks.contains('S'))
            m.soil = sampleSoil();
        if (blocks.contains('V'))
            m.solvane = sim::SolvaneBlock{125, -30};
        if (blocks.contains('1'))
            m.globe1 = 25.5f;
        if (blocks.contains('2'))
            m.globe2 = 30.25f;
        const sim::Record record = sim::makeMeasurementRecord(4000000000u, Stamp, m);
        QCOMPARE(line(record, columnsOf(switches)), SampleColumns + tail);
        QCOMPARE(line(record, columnsOf(switches), true), SampleColumns + tail + ",CHECKSUM ERROR");
    }

    void measurementLineWithAnImpossibleDateKeepsItsColumns()
    {
        const sim::Record record =
            sim::makeMeasurementRecord(17, sim::LogTime{2024, 0, 5, 1, 2, 3}, sampleMeasurement());
        QCOMPARE(line(record), "17,," + SampleFields);
        QCOMPARE(line(record).split(',').size(),
                 LogRecord::measurementHeader({}).split(',').size() + 1);
    }

    void systemLinesForEveryKind_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<bool>("bad");
        QTest::addColumn<QString>("text");
        auto bytes = [](const sim::Record &r) {
            return QByteArray(reinterpret_cast<const char *>(r.data()), int(r.size()));
        };
        QTest::newRow("boot") << bytes(sim::makeBootRecord(5, Stamp, 0xFFFF, -5, 300, -1)) << false
                              << "5,2024-03-05 14:07:09,Info,System Booted,Flags: 65535,CM Ver: "
                                 "-5,WDS Ver: 300,TPH Ver: -1";
        QTest::newRow("clock update")
            << bytes(sim::makeClockUpdateRecord(6, Stamp, sim::LogTime{2023, 12, 31, 23, 59, 59},
                                                -120))
            << false << "6,2024-03-05 14:07:09,Info,2023-12-31 23:59:59,-120,Clock Update";
        QTest::newRow("clock update to an impossible date")
            << bytes(sim::makeClockUpdateRecord(6, Stamp, sim::LogTime{2023, 13, 1, 0, 0, 0}, 7))
            << false << "6,2024-03-05 14:07:09,Info,,7,Clock Update";
        QTest::newRow("text") << bytes(sim::makeTextRecord(7, Stamp, "Rain gauge emptied")) << false
                              << "7,2024-03-05 14:07:09,Info,Rain gauge emptied";
        QTest::newRow("text with a comma")
            << bytes(sim::makeTextRecord(7, Stamp, "Low battery, 3.1 V")) << false
            << "7,2024-03-05 14:07:09,Info,\"Low battery, 3.1 V\"";
        QTest::newRow("text with quotes")
            << bytes(sim::makeTextRecord(7, Stamp, "Probe \"A\" lost")) << false
            << "7,2024-03-05 14:07:09,Info,\"Probe \"\"A\"\" lost\"";
        QTest::newRow("text with line ends")
            << bytes(sim::makeTextRecord(7, Stamp, "one\r\ntwo")) << false
            << "7,2024-03-05 14:07:09,Info,\"one\r\ntwo\"";
        QTest::newRow("Latin-1 text")
            << bytes(sim::makeTextRecord(7, Stamp, "Temp\xE9rature 5\xB0")) << false
            << QString::fromUtf8("7,2024-03-05 14:07:09,Info,"
                                 "Température 5°");
        QTest::newRow("text up to the checksum")
            << bytes(sim::makeTextRecord(7, Stamp, std::string(130, 'A'))) << false
            << "7,2024-03-05 14:07:09,Info," + QString(116, 'A');
        QTest::newRow("other information")
            << bytes(sim::makeRecord(8, Stamp, sim::InfoKind, {9, 1, 2, 3})) << false
            << "8,2024-03-05 14:07:09,Info,Unknown";
        QTest::newRow("error") << bytes(sim::makeErrorRecord(9, Stamp, -2, "WDS timeout")) << false
                               << "9,2024-03-05 14:07:09,Error,-2,WDS timeout";
        QTest::newRow("unrecognised kind") << bytes(sim::makeRecord(10, Stamp, 7, {0, 1})) << false
                                           << "10,2024-03-05 14:07:09,Unknown Record";
        QTest::newRow("erased") << bytes(sim::erasedRecord()) << false
                                << "4294967295,,Unknown Record";
        QTest::newRow("impossible date")
            << bytes(sim::makeTextRecord(11, sim::LogTime{2024, 2, 30, 0, 0, 0}, "x")) << false
            << "11,,Info,x";
        QTest::newRow("error marked") << bytes(sim::makeErrorRecord(9, Stamp, 3, "a,b")) << true
                                      << "9,2024-03-05 14:07:09,Error,3,\"a,b\",CHECKSUM ERROR";
    }

    void systemLinesForEveryKind()
    {
        QFETCH(QByteArray, record);
        QFETCH(bool, bad);
        QFETCH(QString, text);
        QCOMPARE(
            LogRecord::systemLine(reinterpret_cast<const unsigned char *>(record.constData()), bad),
            text);
    }

    void sixteenBitFieldsPrintAsTheirQuotientWould()
    {
        // Millivolts, soil and Solvane values are written from their digits;
        // the text must be what the quotient's six-digit text is, for every
        // value the field can hold.
        char direct[NumberText::MaxRealLength];
        char quotient[NumberText::MaxRealLength];
        const double divisors[] = {1, 10, 100, 1000};
        for (int decimals = 1; decimals <= 3; ++decimals) {
            for (int value = -32768; value <= 32767; ++value) {
                const QByteArray a(direct,
                                   int(NumberText::appendFixed(direct, value, decimals) - direct));
                const QByteArray b(
                    quotient,
                    int(NumberText::appendReal(quotient, value / divisors[decimals]) - quotient));
                if (a != b)
                    QFAIL(qPrintable(QString("%1 with %2 decimals: %3, expected %4")
                                         .arg(value)
                                         .arg(decimals)
                                         .arg(QString(a), QString(b))));
            }
        }
    }

    void exportWritesBothFilesByteForByte()
    {
        // The files are UTF-8 with CRLF line ends; Latin-1 record texts are
        // converted, and quoted when they would split their field or line.
        sim::Measurement withBlocks = sampleMeasurement();
        withBlocks.solvane = sim::SolvaneBlock{125, -30};
        withBlocks.globe1 = 25.5f;
        withBlocks.globe2 = 30.25f;
        sim::Measurement withSoil = sampleMeasurement();
        withSoil.soil = sampleSoil();
        withSoil.globe1 = 25.5f;
        const sim::LogTime impossibleDate{2023, 2, 29, 1, 2, 3};
        const sim::LogTime impossibleHour{2024, 2, 29, 24, 0, 0};
        fillStore({sim::makeBootRecord(1, Stamp, 0x8001, -1, 2, 3),
                   sim::makeMeasurementRecord(2, Stamp, withBlocks),
                   sim::makeMeasurementRecord(3, impossibleDate, withSoil),
                   sim::makeClockUpdateRecord(4, Stamp, sim::LogTime{2023, 13, 1, 0, 0, 0}, -120),
                   sim::makeTextRecord(5, Stamp, "Caf\xE9, \"5\xB0\"\r\n\xFF"),
                   sim::makeErrorRecord(6, Stamp, -128, "\x80 lost"), sim::erasedRecord(),
                   sim::makeRecord(8, impossibleHour, sim::InfoKind, {9})},
                  {2, 5});

        QTemporaryDir folder;
        const QString name = folder.filePath("Log.csv");
        const Columns columns = columnsOf("SV12");
        RecordingProgress progress;
        const OperationResult written =
            writeLogCsv(name, RecordStore::programWide(), 8, 3, columns, progress);
        QVERIFY(written.succeeded());
        QVERIFY(written.message().isEmpty());

        const QByteArray measurements =
            LogRecord::measurementHeader(columns).toUtf8() + "\r\n" +
            ("2,2024-03-05 14:07:09," + SampleFields + NoSoil + SolvaneText + Globe1Text +
             Globe2Text)
                .toUtf8() +
            "\r\n" + ("3,," + SampleFields + SoilText + ",," + Globe1Text + ",").toUtf8() +
            ",CHECKSUM ERROR\r\n";
        QCOMPARE(fileBytes(name), measurements);
        const QByteArray system =
            "Index,Date/Time (UTC),System Information\r\n"
            "1,2024-03-05 14:07:09,Info,System Booted,Flags: 32769,CM Ver: -1,WDS Ver: 2,"
            "TPH Ver: 3\r\n"
            "4,2024-03-05 14:07:09,Info,,-120,Clock Update\r\n"
            "5,2024-03-05 14:07:09,Info,\"Caf\xC3\xA9, \"\"5\xC2\xB0\"\"\r\n\xC3\xBF\"\r\n"
            "6,2024-03-05 14:07:09,Error,-128,\xC2\x80 lost,CHECKSUM ERROR\r\n"
            "4294967295,,Unknown Record\r\n"
            "8,2024-02-29 00:00:00,Info,Unknown\r\n"
            "Retries 3\r\n";
        QCOMPARE(fileBytes(LogRecord::systemFileName(name)), system);
    }

    void exportShowsProgressEvery32Records()
    {
        fillStore(std::vector<sim::Record>(
            65, sim::makeMeasurementRecord(1, Stamp, sampleMeasurement())));
        QTemporaryDir folder;
        RecordingProgress progress;
        QVERIFY(writeLogCsv(folder.filePath("Log.csv"), RecordStore::programWide(), 65, 0, Columns{},
                            progress)
                    .succeeded());
        QCOMPARE(progress.calls, (QStringList{"range 0 65", "value 0", "events", "value 32",
                                              "events", "value 64", "events", "finish"}));
        QCOMPARE(fileBytes(folder.filePath("Log.csv")).count("\r\n"), 66);
    }

    void systemFileNameCutsFourCharactersFromTheEnd()
    {
        QCOMPARE(LogRecord::systemFileName("Log.csv"), QString("Log-system.csv"));
        QCOMPARE(LogRecord::systemFileName("/home/t/Log 2024-03-05 14-07.csv"),
                 QString("/home/t/Log 2024-03-05 14-07-system.csv"));
        QCOMPARE(LogRecord::systemFileName("/tmp/log.data"), QString("/tmp/log.-systemdata"));
    }
};

QTEST_GUILESS_MAIN(LogRecordTest)
#include "tst_logrecord.moc"
