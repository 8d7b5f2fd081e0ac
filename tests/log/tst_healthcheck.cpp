// The health rules, each on a small made-up log.
#include "log/healthcheck.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <functional>

using HealthCheck::Finding;
using LogReader::Quantity;

namespace
{

constexpr qint64 Start = 1709251200; // 2024-03-01 00:00:00
constexpr qint64 Interval = 600;

struct Made {
    QString title;
    QString group;
    Quantity quantity;
    std::function<double(int)> value; // by record number
};

// count records every ten minutes, each column's value from its function.
LogReader::Log makeLog(int count, const std::vector<Made> &columns)
{
    LogReader::Log log;
    log.fileName = "made.csv";
    for (const Made &made : columns) {
        LogReader::Column column;
        column.title = made.title;
        column.group = made.group;
        column.quantity = made.quantity;
        // Unit and decimals as the reader gives them.
        if (const LogFormat::Column *format = LogFormat::columnTitled(made.title)) {
            column.unit = QString::fromUtf8(format->unit);
            column.decimals = LogFormat::decimalsOf(format->encoding);
        }
        for (int i = 0; i < count; ++i)
            column.values.push_back(made.value(i));
        log.columns.push_back(column);
    }
    for (int i = 0; i < count; ++i) {
        log.index.push_back(quint32(i));
        log.time.push_back(Start + i * Interval);
        log.checksumError.push_back(0);
    }
    return log;
}

double moving(int i)
{
    return 10 + std::sin(i * 0.1);
}

std::vector<Finding> findingsOf(const LogReader::Log &log, const QString &rule)
{
    std::vector<Finding> found;
    for (const Finding &f : HealthCheck::check(log).findings)
        if (f.rule == rule)
            found.push_back(f);
    return found;
}

} // namespace

class HealthCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void summaryAndACleanLog()
    {
        LogReader::Log log = makeLog(6, {{"Temperature", "Temperature", Quantity::Temperature,
                                          [](int i) { return i == 2 ? std::nan("") : i * 2.0; }}});
        const HealthCheck::Report report = HealthCheck::check(log);
        QCOMPARE(report.columns.size(), size_t(1));
        const HealthCheck::ColumnSummary &c = report.columns[0];
        QCOMPARE(c.count, 5);
        QCOMPARE(c.minimum, 0.0);
        QCOMPARE(c.maximum, 10.0);
        QCOMPARE(c.mean, (0 + 2 + 6 + 8 + 10) / 5.0);
        QCOMPARE(c.first, Start);
        QCOMPARE(c.last, Start + 5 * Interval);
        QCOMPARE(report.usualInterval, Interval);
        QVERIFY(report.findings.empty());
        QVERIFY(!report.needsLook());
        QVERIFY(HealthCheck::reportText(report).contains("Nothing needs a look."));
        QCOMPARE(HealthCheck::reportJson(report).value("needsLook").toBool(), false);
    }

    void stuckSensorsPastTheirTimeOnlyForQuantitiesThatMove()
    {
        const HealthCheck::Limits &limits = HealthCheck::limits();
        const int stuckRecords = int(limits.temperatureStuckSeconds / Interval) + 2;
        const int count = 3 * stuckRecords;
        const auto stuckFrom = [&](int from, int records) {
            return [=](int i) { return i >= from && i < from + records ? 5.0 : moving(i); };
        };
        LogReader::Log log = makeLog(
            count,
            {{"Temperature", "Temperature", Quantity::Temperature, stuckFrom(3, stuckRecords)},
             // Just short of the limit: no finding.
             {"Pressure Temperature", "Temperature", Quantity::Temperature,
              stuckFrom(3, stuckRecords - 2)},
             {"Rain Day", "Rain", Quantity::Rain, [](int) { return 0.0; }},
             {"Charger Status", "Battery and module", Quantity::Status, [](int) { return 1.0; }}});
        const std::vector<Finding> stuck = findingsOf(log, "stuck");
        QCOMPARE(stuck.size(), size_t(1));
        QCOMPARE(stuck[0].column, QString("Temperature"));
        QCOMPARE(stuck[0].count, 1);
        QCOMPARE(stuck[0].times.front(), Start + 3 * Interval);
    }

    // Fog holds the air at 100 % for days; a sensor stuck below it is found
    // in hours.
    void humidityAtSaturationGetsItsOwnLongerTime_data()
    {
        const HealthCheck::Limits &limits = HealthCheck::limits();
        QTest::addColumn<double>("value");
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<int>("found");
        QTest::newRow("a foggy day") << 100.0 << qint64(24 * 3600) << 0;
        QTest::newRow("a week at 100 %")
            << 100.0 << limits.humiditySaturatedSeconds + Interval << 1;
        QTest::newRow("80 % past its time") << 80.0 << limits.humidityStuckSeconds + Interval << 1;
        QTest::newRow("80 % within it") << 80.0 << limits.humidityStuckSeconds - Interval << 0;
    }

    void humidityAtSaturationGetsItsOwnLongerTime()
    {
        QFETCH(double, value);
        QFETCH(qint64, seconds);
        QFETCH(int, found);
        const int held = int(seconds / Interval) + 1;
        LogReader::Log log =
            makeLog(held + 6, {{"Humidity", "Humidity", Quantity::Humidity, [=](int i) {
                                    return i >= 3 && i < 3 + held ? value : 5 * moving(i);
                                }}});
        const std::vector<Finding> stuck = findingsOf(log, "stuck");
        QCOMPARE(int(stuck.size()), found);
        if (found)
            QCOMPARE(stuck[0].headline,
                     QString("Humidity stays on one value for longer than 12 h, or 168 h at 100 % "
                             "and above"));
    }

    void windStuckOnlyWhileTheOtherWindColumnsMove()
    {
        const int records = int(HealthCheck::limits().windStuckSeconds / Interval) + 3;
        for (const bool vaneTurns : {true, false}) {
            LogReader::Log log =
                makeLog(records, {{"Wind", "Wind", Quantity::WindSpeed, [](int) { return 0.0; }},
                                  {"Direction", "Wind", Quantity::Direction, [=](int i) {
                                       return vaneTurns ? double(i * 10 % 360) : 90.0;
                                   }}});
            QCOMPARE(findingsOf(log, "stuck").size(), size_t(vaneTurns ? 1 : 0));
        }
    }

    void rangesOnlyWhereTheFileFixesTheUnit()
    {
        LogReader::Log log = makeLog(
            4,
            {{"Humidity", "Humidity", Quantity::Humidity,
              [](int i) { return i == 1 ? 100.5 : 50.0 + i; }},
             {"Gust Direction", "Wind", Quantity::Direction,
              [](int i) { return i == 2   ? 360.0
                                 : i == 3 ? -1.0
                                          : 0.0; }},
             {"Battery Voltage", "Battery and module", Quantity::BatteryVoltage,
              [](int i) { return i == 0 ? 0.42 : 12.5 + i * 0.01; }},
             {"Input Voltage", "Battery and module", Quantity::InputVoltage,
              [](int i) { return i * 5.0; }},
             // Units the file does not record: no range.
             {"Temperature", "Temperature", Quantity::Temperature, [](int i) { return 500.0 + i; }},
             {"Pressure", "Pressure", Quantity::Pressure, [](int i) { return -3.0 + i; }}});
        const std::vector<Finding> range = findingsOf(log, "range");
        QCOMPARE(range.size(), size_t(3));
        QCOMPARE(range[0].column, QString("Humidity"));
        QCOMPARE(range[0].times, (std::vector<qint64>{Start + Interval}));
        QCOMPARE(range[1].column, QString("Gust Direction"));
        QCOMPARE(range[1].count, 2);
        QCOMPARE(range[2].column, QString("Battery Voltage"));
        QCOMPARE(range[2].times, (std::vector<qint64>{Start}));
    }

    void batteryFallingDayAfterDayButNotItsDailyCycle()
    {
        const int perDay = int(86400 / Interval);
        const auto cycle = [=](int i) { return 12.5 + 0.4 * std::sin(2 * M_PI * i / perDay); };
        for (const double fall : {0.1, 0.0}) {
            LogReader::Log log = makeLog(
                5 * perDay, {{"Battery Voltage", "Battery and module", Quantity::BatteryVoltage,
                              [=](int i) { return cycle(i) - fall * i / perDay; }}});
            const std::vector<Finding> falling = findingsOf(log, "battery-falling");
            QCOMPARE(falling.size(), size_t(fall > 0 ? 1 : 0));
            // Millivolts, as the log prints the battery.
            if (fall > 0)
                QVERIFY2(QRegularExpression("by 0\\.1 V a day over 5 days, from 12\\.\\d{1,3} V to "
                                            "12\\.\\d{1,3} V \\(")
                             .match(falling[0].headline)
                             .hasMatch(),
                         qPrintable(falling[0].headline));
        }
    }

    void timeLineAndEventsGiveCountsAndFirstTimes()
    {
        LogReader::Log log = makeLog(40, {{"Charger Status", "Battery and module", Quantity::Status,
                                           [](int) { return 1.0; }}});
        for (size_t i = 10; i < log.time.size(); ++i)
            log.time[i] += 2 * 3600; // two hours lost after record 9
        log.time[20] = log.time[19] - 60;
        log.time[30] = LogReader::NoTime;
        log.checksumError[5] = 1;
        for (int e = 0; e < 7; ++e) {
            LogReader::Event event;
            event.kind = LogReader::Event::Error;
            event.time = Start + e;
            event.text = "Error, 1, Battery low";
            log.events.push_back(event);
        }
        LogReader::Event clock;
        clock.kind = LogReader::Event::Info;
        clock.time = Start + 100;
        clock.clockUpdate = true;
        clock.clockSetTo = Start + 40;
        clock.checksumError = true;
        log.events.push_back(clock);
        LogReader::Event erased;
        erased.index = 0xFFFFFFFF;
        erased.erased = erased.checksumError = true;
        erased.text = "Unknown Record";
        erased.line = 12;
        log.events.push_back(erased);
        // Record 34 downloaded twice; a last line cut short.
        log.index[35] = log.index[34];
        log.time[35] = log.time[34];
        log.cutLines.push_back({"/logs/made.csv", 43, "42,2024-03-01 07:0"});

        const HealthCheck::Report report = HealthCheck::check(log);
        QVERIFY(report.needsLook());
        const auto only = [&](const QString &rule) {
            const std::vector<Finding> found = findingsOf(log, rule);
            return found.size() == 1 ? found[0] : Finding();
        };
        QCOMPARE(only("gap").count, 1);
        QCOMPARE(only("gap").times.front(), Start + 9 * Interval);
        QCOMPARE(only("time-backwards").count, 1);
        QCOMPARE(only("no-time").details,
                 (QStringList{"measurement 30 on line 32",
                              "an erased slot (every byte 0xFF) on line 12 of the system file"}));
        QCOMPARE(only("checksum").count, 3);
        QCOMPARE(only("duplicates").details, QStringList{"measurement 34 on lines 36 and 37"});
        QCOMPARE(only("cut-line").details,
                 QStringList{"line 43 of made.csv: '42,2024-03-01 07:0'"});
        QCOMPARE(only("error-records").count, 7);
        const Finding clockFinding = only("clock-update");
        QVERIFY(!clockFinding.needsLook);
        QCOMPARE(clockFinding.details, QStringList{"2024-03-01 00:01:40 to 2024-03-01 00:00:40"});

        // The text lists the first few, the JSON every one.
        const QJsonArray findings = HealthCheck::reportJson(report).value("findings").toArray();
        QCOMPARE(findings.size(), int(report.findings.size()));
        for (const QJsonValue &finding : findings)
            if (finding.toObject().value("rule") == "error-records") {
                QCOMPARE(finding.toObject().value("details").toArray().size(), 7);
                QCOMPARE(finding.toObject().value("times").toArray().size(), 7);
            }
        const QString text = HealthCheck::reportText(report);
        QCOMPARE(text.count("Error, 1, Battery low"), HealthCheck::limits().timesListed);
        QVERIFY(text.contains("and 2 more"));
    }
};

QTEST_GUILESS_MAIN(HealthCheckTest)
#include "tst_healthcheck.moc"
