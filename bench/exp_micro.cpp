#include "log/numbertext.h"
#include "log/logrecord.h"
#include "log/logstore.h"
#include "sim/logrecords.h"
#include "usb/wire.h"
#include <QElapsedTimer>
#include <cstdio>
#include <vector>
int main()
{
    sim::LogOptions options;
    options.everyBlockCombination = true;
    const auto log = sim::generateLog(LogRecord::StoreCapacity, 1, options);
    std::vector<double> floats, scaled;
    std::vector<int> ints;
    int measurements = 0;
    for (const auto &r : log) {
        if (r[8] != 2) continue;
        ++measurements;
        for (int o : {9, 15, 21, 27, 35, 39, 43, 47, 55, 59, 63, 67, 71}) floats.push_back(getFloatBE(r.data() + o));
        for (int o : {75, 77}) scaled.push_back(getInt16BE(r.data() + o) / 1000.0);
        for (int o : {13,19,25,31,33,51,53,79,81,83,85,87,89}) ints.push_back(getInt16BE(r.data() + o));
    }
    static char buf[64 << 20];
    for (int rep = 0; rep < 3; ++rep) {
        QElapsedTimer t; t.start();
        char *out = buf;
        for (double v : floats) { out = NumberText::appendReal(out, v); *out++ = ','; }
        double a = t.nsecsElapsed() / 1e6; t.restart();
        for (double v : scaled) { out = NumberText::appendReal(out, v); *out++ = ','; }
        double b = t.nsecsElapsed() / 1e6; t.restart();
        for (int v : ints) { out = NumberText::appendInt(out, v); *out++ = ','; }
        double c = t.nsecsElapsed() / 1e6; t.restart();
        char *o2 = buf;
        for (int i = 0; i < LogRecord::StoreCapacity; ++i) {
            const unsigned char *r = log[size_t(i)].data();
            if (r[8] == 2) o2 = LogRecord::appendMeasurementLine(o2, r, {true,true,true,true}, false);
        }
        double d = t.nsecsElapsed() / 1e6;
        std::printf("%d measurements; floats %zu: %.1f ms (%.1f ns); scaled %zu: %.1f ms (%.1f ns); ints %zu: %.1f ms (%.1f ns); lines %.1f ms %ld bytes\n",
            measurements, floats.size(), a, a * 1e6 / floats.size(), scaled.size(), b, b*1e6/scaled.size(), ints.size(), c, c*1e6/ints.size(), d, long(o2-buf));
    }
}
