#include "log/numbertext.h"

#include <QTest>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace
{

constexpr char Untouched = '#';

// Writes with f into a buffer of marks; fails unless the text fits the
// documented room and nothing past its end was written.
template <typename Append> QString written(Append f, int room)
{
    char buffer[64];
    std::memset(buffer, Untouched, sizeof buffer);
    const char *end = f(buffer + 8);
    const auto length = static_cast<int>(end - (buffer + 8));
    for (int i = 0; i < int(sizeof buffer); ++i)
        if ((i < 8 || i >= 8 + length) && buffer[i] != Untouched)
            return QStringLiteral("wrote outside its text at %1").arg(i - 8);
    if (length < 1 || length > room)
        return QStringLiteral("%1 characters").arg(length);
    return QString::fromLatin1(buffer + 8, length);
}

} // namespace

class NumberTextTest : public QObject
{
    Q_OBJECT

private slots:
    void realsHaveSixDigitsTiesAwayFromZero_data()
    {
        using Double = std::numeric_limits<double>;
        using Float = std::numeric_limits<float>;
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");

        // Exact ties, each with an even sixth digit where to even rounds down.
        QTest::newRow("tie, integer") << 1234565.0 << "1.23457e+06";
        QTest::newRow("tie, negative") << -1234565.0 << "-1.23457e+06";
        QTest::newRow("tie, half") << 100000.5 << "100001";
        QTest::newRow("tie, 65/64") << 1.015625 << "1.01563";
        QTest::newRow("tie, 2^-10") << 0.0009765625 << "0.000976563";
        QTest::newRow("tie, 1234565e12") << 1.234565e18 << "1.23457e+18";
        QTest::newRow("tie carried into exponent form") << 999999.5 << "1e+06";
        QTest::newRow("tie carried to 1e+07") << 9999995.0 << "1e+07";

        // One unit in the last place either side of a tie.
        QTest::newRow("below tie, integer") << std::nextafter(1234565.0, 0.0) << "1.23456e+06";
        QTest::newRow("above tie, integer") << std::nextafter(1234565.0, 2e6) << "1.23457e+06";
        QTest::newRow("below tie, half") << std::nextafter(100000.5, 0.0) << "100000";
        QTest::newRow("below tie, 2^-10") << std::nextafter(0.0009765625, 0.0) << "0.000976562";

        // Seven digits ending in 5 that no double holds: the value read lies
        // below or above them, and rounds that way.
        QTest::newRow("0.1234565 lies below") << 0.1234565 << "0.123456";
        QTest::newRow("1.234565 lies below") << 1.234565 << "1.23456";
        QTest::newRow("12.34565 lies below") << 12.34565 << "12.3456";
        QTest::newRow("99999.95 lies below") << 99999.95 << "99999.9";
        QTest::newRow("0.2345675 lies above") << 0.2345675 << "0.234568";
        QTest::newRow("3.141595 lies above") << 3.141595 << "3.1416";

        // Where the form changes.
        QTest::newRow("99999.96") << 99999.96 << "100000";
        QTest::newRow("123456") << 123456.0 << "123456";
        QTest::newRow("999999.4") << 999999.4 << "999999";
        QTest::newRow("1e6") << 1e6 << "1e+06";
        QTest::newRow("0.0001") << 0.0001 << "0.0001";
        QTest::newRow("0.00012345") << 0.00012345 << "0.00012345";
        QTest::newRow("9.999995e-5 lies above") << 9.999995e-5 << "0.0001";
        QTest::newRow("9.99999e-5") << 9.99999e-5 << "9.99999e-05";
        QTest::newRow("1e-5") << 1e-5 << "1e-05";
        QTest::newRow("1.5e-5") << 1.5e-5 << "1.5e-05";
        QTest::newRow("1e100") << 1e100 << "1e+100";
        QTest::newRow("1e-300") << 1e-300 << "1e-300";

        // Limits and subnormals.
        QTest::newRow("max double") << Double::max() << "1.79769e+308";
        QTest::newRow("lowest double") << Double::lowest() << "-1.79769e+308";
        QTest::newRow("min double") << Double::min() << "2.22507e-308";
        QTest::newRow("subnormal 1e-320") << 1e-320 << "9.99989e-321";
        QTest::newRow("smallest subnormal") << Double::denorm_min() << "4.94066e-324";
        QTest::newRow("negative subnormal") << -Double::denorm_min() << "-4.94066e-324";
        QTest::newRow("max float") << double(Float::max()) << "3.40282e+38";
        QTest::newRow("min float") << double(Float::min()) << "1.17549e-38";
        QTest::newRow("smallest float subnormal") << double(Float::denorm_min()) << "1.4013e-45";

        // What the log holds: singles widened, and negatives.
        QTest::newRow("0.1 single") << double(0.1f) << "0.1";
        QTest::newRow("101.325 single") << double(101.325f) << "101.325";
        QTest::newRow("123456.7 single") << double(123456.7f) << "123457";
        QTest::newRow("-12.25") << -12.25 << "-12.25";
        QTest::newRow("-0.1") << -0.1 << "-0.1";
        QTest::newRow("-2.5e6 single") << double(-2.5e6f) << "-2.5e+06";

        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("nan") << Double::quiet_NaN() << "nan";
        QTest::newRow("negative nan") << -Double::quiet_NaN() << "nan";
        QTest::newRow("inf") << Double::infinity() << "inf";
        QTest::newRow("-inf") << -Double::infinity() << "-inf";
    }

    void realsHaveSixDigitsTiesAwayFromZero()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(written([&](char *out) { return NumberText::appendReal(out, value); },
                         NumberText::MaxRealLength),
                 text);
    }

    void integersPrintInFull_data()
    {
        QTest::addColumn<qlonglong>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0LL << "0";
        QTest::newRow("-1") << -1LL << "-1";
        QTest::newRow("int16 min") << qlonglong(INT16_MIN) << "-32768";
        QTest::newRow("int16 max") << qlonglong(INT16_MAX) << "32767";
        QTest::newRow("uint32 max") << qlonglong(UINT32_MAX) << "4294967295";
        QTest::newRow("long long min")
            << std::numeric_limits<qlonglong>::min() << "-9223372036854775808";
        QTest::newRow("long long max")
            << std::numeric_limits<qlonglong>::max() << "9223372036854775807";
    }

    void integersPrintInFull()
    {
        QFETCH(qlonglong, value);
        QFETCH(QString, text);
        QCOMPARE(written([&](char *out) { return NumberText::appendInt(out, value); },
                         NumberText::MaxIntLength),
                 text);
    }
};

QTEST_GUILESS_MAIN(NumberTextTest)
#include "tst_numbertext.moc"
