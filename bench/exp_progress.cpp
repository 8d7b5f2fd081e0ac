#include "app/talvik.h"
#include "app/progresswindow.h"
#include "log/logstore.h"
#include "sim/logrecords.h"
#include "sim/simdevice.h"
#include "tests/support/testenvironment.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testenv::isolateSettings();
    QTemporaryDir folder;
    sim::LogOptions options;
    options.everyBlockCombination = true;
    const auto log = sim::generateLog(LogRecord::StoreCapacity, 1, options);
    for (int s = 0; s < LogRecord::StoreCapacity; ++s) {
        std::copy(log[size_t(s)].begin(), log[size_t(s)].end(), LogStore[s]);
        badChecksum[s] = 0;
    }
    bool shown = argc > 1;
    sim::reset();
    Talvik window;
    if (shown) window.show();
    for (int r = 0; r < 3; ++r) {
        QElapsedTimer t; t.start();
        window.writeLogCsv(folder.path() + "/a.csv", LogRecord::StoreCapacity, 0, true, true, true, true);
        std::printf("windowed export %d: %.1f ms\n", r, t.nsecsElapsed() / 1e6);
    }
    for (int r = 0; r < 3; ++r) {
        QElapsedTimer t; t.start();
        ProgressWindow p("Processing Log Information...", QString(), 0, LogRecord::StoreCapacity, &window);
        p.setWindowModality(Qt::WindowModal);
        p.setMinimumDuration(0);
        p.show();
        const double a = t.nsecsElapsed() / 1e6;
        for (int i = 0; i < LogRecord::StoreCapacity; i += 32) {
            p.setValue(i);
            QCoreApplication::processEvents();
        }
        const double b = t.nsecsElapsed() / 1e6;
        p.hide(); p.close();
        QCoreApplication::processEvents();
        std::printf("progress only %d: show %.1f, loop %.1f, total %.1f ms\n", r, a, b - a, t.nsecsElapsed() / 1e6);
    }
}
