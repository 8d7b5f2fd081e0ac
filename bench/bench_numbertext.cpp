// Checks that NumberText::appendReal writes exactly what the log export
// wrote before, QString::number(value, 'g', 6) with nan, inf and zero spelled
// out, over every exact tie there is and millions of other values, and
// prints what each formatter costs per value. Exits 1 on any difference.

#include "bench/referencecsv.h"
#include "log/numbertext.h"

#include <QString>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

// Formats values in chunks, timing the old and the new formatter on each
// chunk and comparing their texts.
class Comparison
{
public:
    explicit Comparison(const char *name) : name(name)
    {
        pending.reserve(Chunk);
        oldTexts.resize(Chunk);
    }

    void add(double value)
    {
        pending.push_back(value);
        if (pending.size() == Chunk)
            flush();
    }

    // Prints this group's line; returns its mismatches.
    long long finish()
    {
        flush();
        std::printf("%-34s %11lld %10lld %9.1f %9.1f %7.1fx\n", name, count, mismatches,
                    oldSeconds * 1e9 / count, newSeconds * 1e9 / count, oldSeconds / newSeconds);
        totalCount += count;
        totalOld += oldSeconds;
        totalNew += newSeconds;
        return mismatches;
    }

    static long long totalCount;
    static double totalOld;
    static double totalNew;

private:
    static constexpr std::size_t Chunk = 4096;

    void flush()
    {
        const std::size_t n = pending.size();
        const Clock::time_point start = Clock::now();
        for (std::size_t i = 0; i < n; ++i)
            oldTexts[i] = reference::realText(pending[i]);
        const Clock::time_point between = Clock::now();
        char *out = arena;
        for (std::size_t i = 0; i < n; ++i) {
            out = NumberText::appendReal(out, pending[i]);
            ends[i] = out;
        }
        const Clock::time_point end = Clock::now();
        oldSeconds += std::chrono::duration<double>(between - start).count();
        newSeconds += std::chrono::duration<double>(end - between).count();

        const char *begin = arena;
        for (std::size_t i = 0; i < n; ++i) {
            const QString newText = QString::fromLatin1(begin, int(ends[i] - begin));
            if (newText != oldTexts[i]) {
                if (++totalMismatches <= 10)
                    std::printf("MISMATCH %s: %.17g (%a): old \"%s\", new \"%s\"\n", name,
                                pending[i], pending[i], qPrintable(oldTexts[i]),
                                qPrintable(newText));
                ++mismatches;
            }
            begin = ends[i];
        }
        count += static_cast<long long>(n);
        pending.clear();
    }

    const char *name;
    std::vector<double> pending;
    std::vector<QString> oldTexts;
    char arena[Chunk * NumberText::MaxRealLength];
    const char *ends[Chunk];
    long long count = 0;
    long long mismatches = 0;
    double oldSeconds = 0;
    double newSeconds = 0;
    static long long totalMismatches;
};

long long Comparison::totalCount = 0;
double Comparison::totalOld = 0;
double Comparison::totalNew = 0;
long long Comparison::totalMismatches = 0;

// Every double that is exactly m × 10^e for a seven-digit m ending in 5:
// halfway between two six-digit decimals. 10^e is exact for |e| <= 22 and
// m × 10^e is exact nowhere beyond, so the product or quotient rounded once
// is the tie when one exists, and its fused residual tells whether it does.
template <typename Sink> void forEachTie(Sink &&sink)
{
    for (int e = -22; e <= 22; ++e) {
        const double scale = std::pow(10.0, std::abs(e));
        for (int m = 1000005; m < 10000000; m += 10) {
            const double value = e >= 0 ? m * scale : m / scale;
            const double residual =
                e >= 0 ? std::fma(double(m), scale, -value) : std::fma(value, scale, -double(m));
            if (residual == 0)
                sink(value, m);
        }
    }
}

} // namespace

int main()
{
    std::printf("old: QString::number(v, 'g', 6) with nan, inf, 0 spelled out; "
                "new: NumberText::appendReal\n\n");
    std::printf("%-34s %11s %10s %9s %9s %8s\n", "values", "compared", "mismatches", "old ns/v",
                "new ns/v", "speedup");
    std::mt19937_64 random(20240305);
    long long mismatches = 0;

    {
        Comparison c("random doubles, all exponents");
        for (int i = 0; i < 4000000; ++i) {
            const std::uint64_t bits = random();
            double value;
            std::memcpy(&value, &bits, sizeof value);
            c.add(value);
        }
        mismatches += c.finish();
    }
    {
        Comparison c("random floats widened to double");
        for (int i = 0; i < 4000000; ++i) {
            const auto bits = static_cast<std::uint32_t>(random());
            float value;
            std::memcpy(&value, &bits, sizeof value);
            c.add(value);
        }
        mismatches += c.finish();
    }
    {
        Comparison c("every int16 / 1000, / 100, / 10");
        for (const double divisor : {1000.0, 100.0, 10.0})
            for (int i = -32768; i <= 32767; ++i)
                c.add(i / divisor);
        mismatches += c.finish();
    }
    long long ties = 0;
    long long evenTies = 0;
    {
        Comparison c("every exact tie, both signs");
        forEachTie([&](double value, int m) {
            ++ties;
            evenTies += (m / 10) % 2 == 0;
            c.add(value);
            c.add(-value);
        });
        mismatches += c.finish();
    }
    {
        Comparison c("one ulp either side of every tie");
        forEachTie([&](double value, int) {
            c.add(std::nextafter(value, 0.0));
            c.add(std::nextafter(value, HUGE_VAL));
        });
        mismatches += c.finish();
    }
    {
        // Seven-digit midpoints that a double cannot hold, all exponents:
        // the value read is only near the tie, on either side.
        Comparison c("near ties d.ddddd5e+-x, both signs");
        std::uniform_int_distribution<int> digits(100000, 999999);
        std::uniform_int_distribution<int> exponent(-330, 310);
        char text[32];
        for (int i = 0; i < 1000000; ++i) {
            std::snprintf(text, sizeof text, "%d5e%d", digits(random), exponent(random));
            const double value = std::strtod(text, nullptr);
            c.add(value);
            c.add(-value);
        }
        mismatches += c.finish();
    }

    {
        // About a millionth of a unit in the sixth digit from a midpoint,
        // either side: where a quick scaled estimate must still round right.
        Comparison c("a millionth of a unit from a tie");
        std::uniform_int_distribution<int> digits(100000, 999999);
        std::uniform_int_distribution<int> exponent(-300, 300);
        char text[40];
        for (int i = 0; i < 500000; ++i) {
            const int six = digits(random);
            const int power = exponent(random);
            for (const char *tail : {"4999998", "4999999", "5000001", "5000002"}) {
                std::snprintf(text, sizeof text, "%s%d%se%d", i % 2 ? "-" : "", six, tail, power);
                c.add(std::strtod(text, nullptr));
            }
        }
        mismatches += c.finish();
    }

    std::printf("%-34s %11lld %10lld %9.1f %9.1f %7.1fx\n", "all", Comparison::totalCount,
                mismatches, Comparison::totalOld * 1e9 / Comparison::totalCount,
                Comparison::totalNew * 1e9 / Comparison::totalCount,
                Comparison::totalOld / Comparison::totalNew);
    std::printf("\nexact ties: %lld per sign, %lld of them with an even sixth digit "
                "(where half to even would round down)\n",
                ties, evenTies);
    std::printf("%s\n", mismatches == 0 ? "identical text for every value" : "TEXT DIFFERS");
    return mismatches == 0 ? 0 : 1;
}
