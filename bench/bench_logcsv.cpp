// Checks that the log export writes, byte for byte, the files it wrote
// before it formatted into one buffer (bench/referencecsv.cpp), and prints
// what each costs without a window. Two full stores, each under all sixteen
// column switches: a generated log with every block combination and its
// events, and a hostile one of random bytes shaped into every record kind.
// Exits 1 on any difference.
//
// "bench_logcsv --once" exports the generated store with every column group
// once and does nothing else, "--once-before" the same the old way; for
//   valgrind --tool=callgrind --toggle-collect='writeLogCsv*' bench_logcsv --once
// and with --toggle-collect='reference::writeLogCsv*' for --once-before.

#include "bench/referencecsv.h"
#include "core/operationprogress.h"
#include "log/logcsv.h"
#include "log/logstore.h"
#include "sim/logrecords.h"
#include "usb/wire.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace
{

constexpr int Capacity = LogRecord::StoreCapacity;

LogRecord::Columns columnsOf(int switches)
{
    LogRecord::Columns columns;
    columns.soil = switches & 1;
    columns.solvane = switches & 2;
    columns.globeTemp1 = switches & 4;
    columns.globeTemp2 = switches & 8;
    return columns;
}

// The realistic store: every block combination, boots, clock updates, texts,
// errors and erased slots; every seventh record kept with a failed checksum.
void fillGenerated()
{
    sim::LogOptions options;
    options.everyBlockCombination = true;
    const std::vector<sim::Record> log = sim::generateLog(Capacity, 1, options);
    for (int slot = 0; slot < Capacity; ++slot) {
        std::copy(log[size_t(slot)].begin(), log[size_t(slot)].end(), LogStore[slot]);
        badChecksum[slot] = slot % 7 == 3;
    }
}

// A value a six-digit text must round: a seven-digit decimal ending in 5,
// which a float holds exactly or only nearly.
float nearTie(std::mt19937 &random)
{
    // One draw after the other, so every compiler builds the same store.
    const bool negative = random() % 2;
    const unsigned digits = 100000 + unsigned(random() % 900000);
    const int exponent = int(random() % 60) - 30;
    char text[32];
    std::snprintf(text, sizeof text, "%s%u5e%d", negative ? "-" : "", digits, exponent);
    return std::strtof(text, nullptr);
}

// Text bytes, now and then a comma, quote or line end, and a NUL somewhere
// or nowhere before the checksum.
void fillText(unsigned char *record, std::mt19937 &random)
{
    const char special[] = ",\"\r\n";
    for (int i = LogRecord::TextOffset; i < LogRecord::DataEnd; ++i)
        record[i] = random() % 6 == 0 ? special[random() % 4] : 1 + random() % 255;
    const int end = LogRecord::TextOffset + int(random() % 140);
    if (end < LogRecord::DataEnd)
        record[end] = 0;
}

// Random optional blocks from byte 91: each present, absent or with a wrong
// marker, packed after one another until they run into the checksum.
void fillBlocks(unsigned char *record, std::mt19937 &random)
{
    const int markers[] = {sim::SoilMarker, sim::SolvaneMarker, sim::GlobeMarker, sim::GlobeMarker};
    const int sizes[] = {28, 8, 6, 6};
    int position = 91;
    for (int block = 0; block < 4 && position + 2 <= LogRecord::DataEnd; ++block) {
        const unsigned choice = random() % 4;
        if (choice == 0)
            continue;
        putUInt16BE(record + position, choice == 1 ? markers[(block + 1) % 4] : markers[block]);
        if (block >= 2 && position + 6 <= LogRecord::DataEnd && random() % 2)
            putUInt32BE(record + position + 2, floatBits(nearTie(random)));
        position += sizes[block];
    }
}

// The hostile store: random bytes, so every float bit pattern and every
// integer can turn up, shaped into measurements (half the slots), boots,
// clock updates, texts, unknown information, errors and unknown kinds. The
// date fields walk through all 32,768 year, month and day combinations with
// random, often impossible, times; every 61st slot is erased.
void fillHostile()
{
    std::mt19937 random(20240305);
    for (int slot = 0; slot < Capacity; ++slot) {
        unsigned char *record = LogStore[slot];
        for (int i = 0; i < LogRecord::Size; ++i)
            record[i] = static_cast<unsigned char>(random());
        badChecksum[slot] = random() % 8 == 0;
        if (slot % 61 == 0) {
            std::memset(record, 0xFF, LogRecord::Size);
            continue;
        }
        const auto date = quint32(slot % 32768) << 17;
        putUInt32BE(record + LogRecord::DateTimeOffset, date | (random() & 0x1FFFF));
        const int shape = slot % 16;
        if (shape < 8) {
            record[LogRecord::KindOffset] = LogRecord::Measurement;
            for (int offset : {9, 15, 21, 27, 35, 39, 43, 47, 55, 59, 63, 67, 71})
                if (random() % 3 == 0)
                    putUInt32BE(record + offset, floatBits(nearTie(random)));
            fillBlocks(record, random);
        } else if (shape < 14) {
            // Information of every sub-kind (boot, clock update, text,
            // unknown), then errors with their random code.
            if (shape < 12) {
                record[LogRecord::KindOffset] = LogRecord::Information;
                record[LogRecord::SubKindOffset] = static_cast<unsigned char>(shape - 8);
            } else {
                record[LogRecord::KindOffset] = LogRecord::Error;
            }
            if (shape >= 10)
                fillText(record, random);
        } else {
            record[LogRecord::KindOffset] = static_cast<unsigned char>(3 + random() % 253);
        }
    }
}

// What the store holds that the export must get right, so the comparison
// shows what it covered.
void describeStore(const char *name)
{
    int measurements = 0, marked = 0, erased = 0, impossibleDates = 0, quoted = 0, latin1 = 0;
    for (int slot = 0; slot < Capacity; ++slot) {
        const unsigned char *record = LogStore[slot];
        measurements += record[LogRecord::KindOffset] == LogRecord::Measurement;
        marked += badChecksum[slot];
        erased += LogRecord::isErased(record);
        impossibleDates +=
            !LogRecord::unpackLogDateTime(record + LogRecord::DateTimeOffset).isValid();
        const bool text = record[LogRecord::KindOffset] == LogRecord::Error ||
                          (record[LogRecord::KindOffset] == LogRecord::Information &&
                           record[LogRecord::SubKindOffset] == LogRecord::Text);
        if (!text)
            continue;
        const char *begin = reinterpret_cast<const char *>(record + LogRecord::TextOffset);
        const QByteArray bytes(begin,
                               int(qstrnlen(begin, LogRecord::DataEnd - LogRecord::TextOffset)));
        quoted += bytes.contains(',') || bytes.contains('"') || bytes.contains('\r') ||
                  bytes.contains('\n');
        latin1 += std::any_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; });
    }
    std::printf("%s store: %d measurements, %d system records (%d erased), %d with an "
                "impossible date, %d marked, %d texts quoted, %d with non-ASCII bytes\n",
                name, measurements, Capacity - measurements, erased, impossibleDates, marked,
                quoted, latin1);
}

QByteArray contents(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// Compares one file of both exports; prints the first line that differs.
bool sameFile(const QString &expectedName, const QString &actualName, long long &lines)
{
    const QByteArray expected = contents(expectedName);
    const QByteArray actual = contents(actualName);
    lines += expected.count('\n');
    if (expected == actual)
        return true;
    const QList<QByteArray> a = expected.split('\n');
    const QList<QByteArray> b = actual.split('\n');
    for (int i = 0; i < std::max(a.size(), b.size()); ++i) {
        const QByteArray x = i < a.size() ? a[i] : QByteArray("(none)");
        const QByteArray y = i < b.size() ? b[i] : QByteArray("(none)");
        if (x != y) {
            std::printf("MISMATCH in %s, line %d:\n  before: %s\n  now:    %s\n",
                        qPrintable(actualName), i + 1, x.toPercentEncoding(" ,:-.").constData(),
                        y.toPercentEncoding(" ,:-.").constData());
            break;
        }
    }
    return false;
}

// Exports the store as it stands under every column switch, before and now;
// returns the number of exports whose files differ.
int compareStore(const char *name, const QString &folder, long long &lines, double &megabytes)
{
    int differing = 0;
    for (int switches = 0; switches < 16; ++switches) {
        const LogRecord::Columns columns = columnsOf(switches);
        const QString before = folder + QString("/before-%1.csv").arg(switches);
        const QString now = folder + QString("/now-%1.csv").arg(switches);
        NoProgress progress;
        // The reference export reads the program-wide store, so both read it.
        const bool written =
            reference::writeLogCsv(before, Capacity, 17, columns) == 0 &&
            writeLogCsv(now, RecordStore::programWide(), Capacity, 17, columns, progress)
                .succeeded();
        megabytes += (QFile(before).size() + QFile(LogRecord::systemFileName(before)).size()) / 1e6;
        if (!written || !sameFile(before, now, lines) ||
            !sameFile(LogRecord::systemFileName(before), LogRecord::systemFileName(now), lines)) {
            std::printf("%s store, column switches %d: %s\n", name, switches,
                        written ? "files differ" : "not written");
            ++differing;
        }
    }
    return differing;
}

// The median of runs of f, in ms.
template <typename Export> double medianMs(Export f, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;
    const LogRecord::Columns all = columnsOf(15);
    const QString file = folder.path() + "/Full.csv";
    NoProgress progress;
    const RecordStore store = RecordStore::programWide();
    fillGenerated();
    if (application.arguments().contains("--once"))
        return writeLogCsv(file, store, Capacity, 0, all, progress).succeeded() ? 0 : 1;
    if (application.arguments().contains("--once-before"))
        return reference::writeLogCsv(file, Capacity, 0, all) == 0 ? 0 : 1;

    long long lines = 0;
    double megabytes = 0;
    describeStore("generated");
    int differing = compareStore("generated", folder.path(), lines, megabytes);
    fillHostile();
    describeStore("hostile");
    differing += compareStore("hostile", folder.path(), lines, megabytes);
    std::printf("compared 2 full stores of %d records under 16 column switches each: "
                "%lld line ends, %.1f MB per side, %d of 32 exports differ\n",
                Capacity, lines, megabytes, differing);

    fillGenerated();
    const double before = medianMs([&] { reference::writeLogCsv(file, Capacity, 0, all); }, 5);
    const double now = medianMs([&] { writeLogCsv(file, store, Capacity, 0, all, progress); }, 5);
    const double size = (QFile(file).size() + QFile(LogRecord::systemFileName(file)).size()) / 1e6;
    std::printf("export of the generated store, all column groups, no window, median of 5: "
                "before %.1f ms, now %.1f ms (%.1f MB, %.0f MB/s), %.1fx\n",
                before, now, size, size / (now / 1000), before / now);
    std::printf("%s\n", differing == 0 ? "identical files for every export" : "FILES DIFFER");
    return differing == 0 ? 0 : 1;
}
