// The quality flag of every value: each rule on a small made-up series, and
// the flags file that carries them.
#include "log/logformat.h"
#include "log/qualityflags.h"

#include <QTest>

#include <cmath>

namespace
{

constexpr double N = std::numeric_limits<double>::quiet_NaN();

// One column of the log format, measured every five minutes unless the
// minutes say otherwise.
LogReader::Log series(const QString &title, const QVector<double> &values,
                      const QVector<int> &minutes = {})
{
    LogReader::Log log;
    log.fileName = "made-up.csv";
    const LogFormat::Column *format = LogFormat::columnTitled(title);
    LogReader::Column column;
    column.title = title;
    column.group = QString::fromLatin1(format->group);
    column.quantity = format->quantity;
    column.unit = QString::fromUtf8(format->unit);
    for (int i = 0; i < values.size(); ++i) {
        log.index.push_back(quint32(100 + i));
        log.time.push_back(1709251200 + 60 * qint64(minutes.isEmpty() ? 5 * i : minutes[i]));
        log.checksumError.push_back(0);
        column.values.push_back(values[i]);
    }
    log.columns.push_back(column);
    return log;
}

QString flagText(const std::vector<QualityFlags::ColumnFlags> &flags)
{
    QString text;
    for (quint8 f : flags.at(0).flags)
        text += QString::number(f);
    return text;
}

} // namespace

class QualityFlagsTest : public QObject
{
    Q_OBJECT

private slots:
    void eachRuleFlagsItsValues_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QVector<double>>("values");
        QTest::addColumn<QVector<int>>("minutes");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("flags");

        QTest::newRow("humidity outside 0..100 is bad, empty is missing")
            << "Humidity" << QVector<double>{55, 100.4, -0.5, N, 60} << QVector<int>{} << ""
            << "14491";
        QTest::newRow("direction 360 and below 0 are bad")
            << "Direction" << QVector<double>{0, 359, 360, -5} << QVector<int>{} << ""
            << "1144";
        QTest::newRow("battery below 10 V and above 16 V is bad")
            << "Battery Voltage" << QVector<double>{12.6, 9.8, 16.2, 13.1} << QVector<int>{} << ""
            << "1441";
        QTest::newRow("a spike is bad, the values around it good")
            << "Temperature" << QVector<double>{10, 10.4, 25, 10.6, 10.8} << QVector<int>{} << ""
            << "11411";
        QTest::newRow("a step that stays is suspect once")
            << "Temperature" << QVector<double>{10, 10.2, 20, 20.1, 20.2} << QVector<int>{} << ""
            << "11311";
        QTest::newRow("a longer step allows more change")
            << "Temperature" << QVector<double>{10, 10.2, 14, 14.1} << QVector<int>{0, 5, 25, 30}
            << ""
            << "1111";
        QTest::newRow("neighbours across a gap are not compared")
            << "Pressure" << QVector<double>{1010, 1010.1, 1010.2, 1010.1, 990, 990.1}
            << QVector<int>{0, 5, 10, 15, 600, 605} << ""
            << "111111";
        QTest::newRow("a pressure spike of 8 hPa is bad")
            << "Pressure" << QVector<double>{1010, 1010.1, 1002, 1010.2, 1010.1} << QVector<int>{}
            << "hPa"
            << "11411";
        QTest::newRow("in inHg the same 8 hPa is a fraction of an inch")
            << "Pressure" << QVector<double>{29.82, 29.83, 29.59, 29.83} << QVector<int>{} << "inHg"
            << "1141";
        QTest::newRow("4 °F is within the limit that 4 °C exceeds")
            << "Temperature" << QVector<double>{50, 50, 54, 50} << QVector<int>{} << "°F"
            << "1111";
        QTest::newRow("a gust jumps by its nature")
            << "Gust" << QVector<double>{2, 30, 2, 3} << QVector<int>{} << ""
            << "1111";
        QTest::newRow("wind speed that leaps 25 m/s and back is bad")
            << "Wind" << QVector<double>{3, 28, 3.5, 3} << QVector<int>{} << ""
            << "1411";
        QTest::newRow("temperature on one value over six hours is suspect")
            << "Temperature" << QVector<double>{7.5, 7.5, 7.5, 7.5, 7.5, 8, N}
            << QVector<int>{0, 120, 240, 360, 390, 395, 400} << ""
            << "3333319";
        QTest::newRow("a missing value ends a run, as in the health check")
            << "Temperature" << QVector<double>{7.5, 7.5, N, 7.5, 7.5}
            << QVector<int>{0, 240, 250, 260, 400} << ""
            << "11911";
        QTest::newRow("humidity at 100 % may stay there for days")
            << "Humidity" << QVector<double>{100, 100, 100, 99} << QVector<int>{0, 900, 1800, 1805}
            << ""
            << "1111";
    }

    void eachRuleFlagsItsValues()
    {
        QFETCH(QString, title);
        QFETCH(QVector<double>, values);
        QFETCH(QVector<int>, minutes);
        QFETCH(QString, unit);
        QFETCH(QString, flags);
        const LogReader::Log log = series(title, values, minutes);
        QVERIFY(QualityFlags::isChecked(log.columns[0]));
        const auto found = QualityFlags::flagLog(log, {QualityFlags::unitScale(unit)});
        QCOMPARE(found.size(), size_t(1));
        QCOMPARE(flagText(found), flags);
        // Flagging changes no value.
        QCOMPARE(log.columns[0].values.size(), size_t(values.size()));
    }

    void flagsFileHasAColumnPerCheckedQuantity()
    {
        LogReader::Log log = series("Humidity", {55, 101, N});
        LogReader::Column trend = log.columns[0];
        trend.title = "Trend";
        trend.quantity = LogFormat::Quantity::Other;
        log.columns.insert(log.columns.begin(), trend);
        log.time[1] = LogReader::NoTime;
        const auto flags = QualityFlags::flagLog(log);
        QCOMPARE(QualityFlags::flagsCsv(log, flags), QByteArray("Index,Date/Time (UTC),Humidity\r\n"
                                                                "100,2024-03-01 00:00:00,1\r\n"
                                                                "101,,4\r\n"
                                                                "102,2024-03-01 00:10:00,9\r\n"));
        QCOMPARE(QualityFlags::flagsFileName("/tmp/Ridge North.csv"),
                 QString("/tmp/Ridge North-flags.csv"));
    }
};

QTEST_MAIN(QualityFlagsTest)
#include "tst_qualityflags.moc"
