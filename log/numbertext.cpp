#include "log/numbertext.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace NumberText
{

namespace
{

constexpr int Precision = 6;

// A positive value as significant digits, the first non-zero, and the power
// of ten of the first one.
struct Digits {
    char digit[24];
    int count = 0;
    int exponent = 0;
};

// Reads to_chars' scientific form, "d[.ddd]e±dd[d]".
Digits parseScientific(const char *text)
{
    Digits d;
    d.digit[d.count++] = *text++;
    if (*text == '.')
        for (++text; *text != 'e'; ++text)
            d.digit[d.count++] = *text;
    ++text; // 'e'
    const bool negative = *text++ == '-';
    int exponent = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        exponent = exponent * 10 + (*text - '0');
    d.exponent = negative ? -exponent : exponent;
    return d;
}

void trimZeros(Digits &d)
{
    while (d.count > 1 && d.digit[d.count - 1] == '0')
        --d.count;
}

// Correctly rounded to six digits, an exact tie to even.
Digits roundedToEven(double value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text - 1, value,
                                   std::chars_format::scientific, Precision - 1)
                         .ptr;
    *end = '\0';
    Digits d = parseScientific(text);
    trimZeros(d);
    return d;
}

// The digits that read back as value and are fewest, the nearest of those.
Digits shortest(double value)
{
    char text[32];
    const auto end =
        std::to_chars(text, text + sizeof text - 1, value, std::chars_format::scientific).ptr;
    *end = '\0';
    return parseScientific(text);
}

// 5^0 to 5^15; 5^15 times a seven-digit number still fits 64 bits.
struct PowersOfFive {
    std::uint64_t value[16] = {1};
    constexpr PowersOfFive()
    {
        for (int i = 1; i < 16; ++i)
            value[i] = value[i - 1] * 5;
    }
};
constexpr PowersOfFive Five;

// Whether value is exactly the seven digits d.ddddd5 × 10^exponent. Their
// integer m ends in 5, so it is odd: m × 10^e is m × 5^e × 2^e, and a double
// holds it only while the odd m × 5^e stays below 2^53; m / 10^n is a binary
// fraction only when 5^n divides m, which needs n ≤ 10 as m < 5^11.
bool isExactly(const Digits &d, double value)
{
    std::uint64_t m = 0;
    for (int i = 0; i <= Precision; ++i)
        m = m * 10 + static_cast<std::uint64_t>(d.digit[i] - '0');
    const int e = d.exponent - Precision;
    if (e >= 0) {
        if (e > 15)
            return false;
        const std::uint64_t scaled = m * Five.value[e];
        return scaled < (std::uint64_t(1) << 53) &&
               std::ldexp(static_cast<double>(scaled), e) == value;
    }
    const int n = -e;
    if (n > 10 || m % Five.value[n] != 0)
        return false;
    return std::ldexp(static_cast<double>(m / Five.value[n]), -n) == value;
}

// Six significant digits of a positive normal value, an exact tie rounded up.
//
// The shortest digits s lie within half a unit in the last place of the
// value, far closer than any two seven-digit decimals lie to each other. So
// a rounding midpoint (six digits and a 5) strictly between s and the value
// would be a decimal of seven digits that reads back as the value, and s
// could not have more than seven digits nor be another seven-digit decimal.
// Hence s rounds the same way as the value, unless s is that midpoint
// itself: then the value is either exactly the tie or only near it.
Digits roundedAwayFromZero(double value)
{
    Digits d = shortest(value);
    if (d.count <= Precision)
        return d;
    if (d.count == Precision + 1 && d.digit[Precision] == '5' && !isExactly(d, value))
        return roundedToEven(value); // not a tie, so to even is right
    const bool up = d.digit[Precision] >= '5';
    d.count = Precision;
    if (up) {
        int i = Precision - 1;
        while (i >= 0 && d.digit[i] == '9')
            --i;
        if (i < 0) {
            d.digit[0] = '1';
            d.count = 1;
            ++d.exponent;
        } else {
            ++d.digit[i];
            d.count = i + 1;
        }
    }
    trimZeros(d);
    return d;
}

constexpr char Pairs[] = "00010203040506070809101112131415161718192021222324"
                         "25262728293031323334353637383940414243444546474849"
                         "50515253545556575859606162636465666768697071727374"
                         "75767778798081828384858687888990919293949596979899";

// The two digits of a number below 100.
void copyPair(char *out, std::uint32_t n)
{
    out[0] = Pairs[2 * n];
    out[1] = Pairs[2 * n + 1];
}

// Powers of ten from 10^MinPower to 10^MaxPower, each the double nearest.
constexpr int MinPower = -303;
constexpr int MaxPower = 305;

const double *powersOfTen()
{
    static const struct Table {
        double value[MaxPower - MinPower + 1];
        Table()
        {
            char text[8];
            for (int k = MinPower; k <= MaxPower; ++k) {
                text[0] = '1';
                text[1] = 'e';
                const char *end = std::to_chars(text + 2, text + sizeof text, k).ptr;
                std::from_chars(text, end, value[k - MinPower]);
            }
        }
    } table;
    return table.value;
}

// Six significant digits of a positive normal value from one multiplication
// by a power of ten. The scaled value is below 10^6 and off by less than
// 10^-9 (two roundings of at most 2^-53 each), so its rounding to an integer
// can only be wrong when it lies about that close to a half; then, and for
// magnitudes the table does not reach, this gives up and returns false.
bool roundedQuickly(double value, Digits &d)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int binary = static_cast<int>(bits >> 52) - 1023; // 2^binary <= value
    // floor(binary * log10(2)), the value's power of ten give or take one;
    // the scaled value tells which.
    int exponent = (binary * 78913) >> 18;
    if (Precision - exponent > MaxPower || Precision - 2 - exponent < MinPower)
        return false;
    const double *power = powersOfTen() - MinPower;
    double scaled = value * power[Precision - 1 - exponent];
    if (scaled < 1e5 || scaled >= 1e6) {
        exponent += scaled < 1e5 ? -1 : 1;
        scaled = value * power[Precision - 1 - exponent];
    }
    const auto whole = static_cast<std::uint32_t>(scaled);
    const double fraction = scaled - whole;
    if (std::fabs(fraction - 0.5) < 1e-6)
        return false;
    std::uint32_t n = whole + (fraction > 0.5);
    if (n == 1000000) {
        n = 100000;
        ++exponent;
    }
    if (n < 100000 || n > 999999)
        return false;
    const std::uint32_t high = n / 10000;
    const std::uint32_t low = n % 10000;
    copyPair(d.digit, high);
    copyPair(d.digit + 2, low / 100);
    copyPair(d.digit + 4, low % 100);
    d.count = Precision;
    d.exponent = exponent;
    trimZeros(d);
    return true;
}

char *copyName(char *out, const char (&name)[4])
{
    out[0] = name[0];
    out[1] = name[1];
    out[2] = name[2];
    return out + 3;
}

char *layOut(char *out, const Digits &d)
{
    const int x = d.exponent;
    const bool scientific = x < -4 || x >= Precision;
    // The digits before the point; none when the number starts "0.".
    int whole = scientific ? 1 : x + 1;
    if (whole <= 0) {
        *out++ = '0';
        *out++ = '.';
        for (; whole < 0; ++whole)
            *out++ = '0';
        whole = -1;
    }
    for (int i = 0; i < d.count; ++i) {
        if (i == whole)
            *out++ = '.';
        *out++ = d.digit[i];
    }
    for (int i = d.count; i < whole; ++i)
        *out++ = '0';
    if (!scientific)
        return out;
    *out++ = 'e';
    *out++ = x < 0 ? '-' : '+';
    int magnitude = x < 0 ? -x : x;
    if (magnitude >= 100) {
        *out++ = static_cast<char>('0' + magnitude / 100);
        magnitude %= 100;
    }
    copyPair(out, static_cast<std::uint32_t>(magnitude));
    return out + 2;
}

// value / 10^Decimals in fixed notation, trailing zeros and a bare point
// dropped, as %g lays out a quotient between 0.001 and 3276.8.
template <int Decimals> char *fixedText(char *out, int value)
{
    constexpr unsigned Scale = Decimals == 1 ? 10 : Decimals == 2 ? 100 : 1000;
    if (value < 0) {
        *out++ = '-';
        value = -value;
    }
    const auto magnitude = static_cast<unsigned>(value);
    out = std::to_chars(out, out + MaxIntLength, magnitude / Scale).ptr;
    unsigned fraction = magnitude % Scale;
    if (fraction == 0)
        return out;
    int length = Decimals;
    for (; fraction % 10 == 0; fraction /= 10)
        --length;
    *out = '.';
    for (int i = length; i > 0; --i, fraction /= 10)
        out[i] = static_cast<char>('0' + fraction % 10);
    return out + length + 1;
}

} // namespace

char *appendReal(char *out, double value)
{
    if (std::isnan(value))
        return copyName(out, "nan");
    if (std::isinf(value)) {
        if (value < 0)
            *out++ = '-';
        return copyName(out, "inf");
    }
    if (value == 0) {
        *out = '0';
        return out + 1;
    }
    if (std::signbit(value)) {
        *out++ = '-';
        value = -value;
    }
    // A subnormal's neighbours lie too far apart for its shortest digits to
    // stand for it; no tie is that small, so to even rounds it right.
    Digits d;
    if (value < std::numeric_limits<double>::min())
        d = roundedToEven(value);
    else if (!roundedQuickly(value, d))
        d = roundedAwayFromZero(value);
    return layOut(out, d);
}

char *appendInt(char *out, long long value)
{
    return std::to_chars(out, out + MaxIntLength, value).ptr;
}

char *appendFixed(char *out, int value, int decimals)
{
    switch (decimals) {
    case 1:
        return fixedText<1>(out, value);
    case 2:
        return fixedText<2>(out, value);
    default:
        return fixedText<3>(out, value);
    }
}

} // namespace NumberText
