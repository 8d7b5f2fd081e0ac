// Prints what the log viewer costs on a station's long history: ten years of
// 5-minute records (1,050,000) filled into a new local SQLite archive
// through the real ingest, download by download; the time to open the
// station in the viewer; and the median redraw of a pan or a zoom with
// eight panels in a 1600 x 1000 window, rendered offscreen.
//
//   bench_viewer [--png FILE]                   the benchmark; FILE: how it looked
//   bench_viewer --archive DB --station N --png FILE [--days D]
//                                               renders a station of an archive
//
// The history has faults a technician should see: a three-day gap, a
// temperature sensor stuck for a day, spikes, humidity above 100 % and a
// marked record.
#include "app/logplot.h"
#include "app/logviewer.h"
#include "archive/archivedatabase.h"
#include "archive/configurationrecord.h"
#include "archive/history.h"
#include "archive/ingest.h"
#include "archive/stationhistory.h"
#include "log/logrecord.h"
#include "log/logstore.h"
#include "sim/logrecords.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

constexpr quint32 Serial = 20473;

double msOf(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

void putFloat(unsigned char *at, float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(bits >> (24 - 8 * i));
}

float getFloat(const unsigned char *at)
{
    quint32 bits = 0;
    for (int i = 0; i < 4; ++i)
        bits = (bits << 8) | at[i];
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void sealRecord(unsigned char *record)
{
    const quint16 sum = LogRecord::checksum(record);
    record[126] = static_cast<unsigned char>(sum >> 8);
    record[127] = static_cast<unsigned char>(sum);
}

// The faults, at fixed places of the history.
void spoil(std::vector<sim::Record> &log)
{
    const size_t n = log.size();
    std::vector<size_t> measurements;
    for (size_t i = 0; i < n; ++i)
        if (log[i][LogRecord::KindOffset] == LogRecord::Measurement)
            measurements.push_back(i);
    const size_t m = measurements.size();
    // Stuck temperature for a day and a half, three quarters into the history.
    const size_t stuck = m * 3 / 4;
    const float held = getFloat(log[measurements[stuck]].data() + 35);
    for (size_t k = stuck; k < stuck + 430 && k < m; ++k)
        putFloat(log[measurements[k]].data() + 35, held);
    // Spikes in temperature and pressure, and humidity above 100 %.
    for (size_t k = m * 3 / 4 + 1000; k < m * 3 / 4 + 3000 && k < m; k += 250) {
        unsigned char *r = log[measurements[k]].data();
        putFloat(r + 35, getFloat(r + 35) + 18.0f);
        putFloat(r + 43, getFloat(r + 43) - 40.0f);
    }
    for (size_t k = m * 3 / 4 + 1500; k < m * 3 / 4 + 1520 && k < m; ++k)
        putFloat(log[measurements[k]].data() + 39, 104.5f);
    for (size_t k : measurements)
        sealRecord(log[k].data());
}

int render(LogViewer &viewer, const QString &png)
{
    QApplication::processEvents();
    return png.isEmpty() || viewer.grab().save(png) ? 0 : 1;
}

void checkColumns(LogViewer &viewer, const QStringList &titles)
{
    auto *list = viewer.findChild<QTreeWidget *>("ColumnList");
    for (int g = 0; g < list->topLevelItemCount(); ++g)
        for (int i = 0; i < list->topLevelItem(g)->childCount(); ++i) {
            QTreeWidgetItem *item = list->topLevelItem(g)->child(i);
            item->setCheckState(0, titles.contains(item->text(0)) ? Qt::Checked : Qt::Unchecked);
        }
}

void waitForCheck(LogViewer &viewer)
{
    while (viewer.checking()) {
        QApplication::processEvents();
        QThread::msleep(5);
    }
    QApplication::processEvents();
}

// Renders a station of an existing archive: the last days of its history.
int renderArchive(const QString &path, quint32 serial, int days, const QString &png)
{
    qputenv("TALVIK_ARCHIVE", path.toLocal8Bit());
    LogViewer viewer;
    viewer.resize(1600, 1000);
    viewer.show();
    const archive::Span all = archive::Span::All;
    if (viewer.openStation(serial, &all) != 0)
        return 1;
    waitForCheck(viewer);
    checkColumns(viewer, {"Temperature", "Humidity", "Pressure", "Wind", "Gust", "Direction",
                          "Rain Day", "Battery Voltage", "Input Voltage"});
    LogPlot *plot = viewer.logPlot();
    if (days > 0) {
        const double end = plot->timeRange().upper;
        plot->showRange(end - days * 86400.0, end);
    }
    return render(viewer, png);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    const auto option = [&](const char *name) {
        const int i = int(args.indexOf(name));
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : QString();
    };
    QTemporaryDir folder;
    // The viewer remembers columns per station; not in the user's settings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.filePath("settings"));
    const QString png = option("--png");
    if (!option("--archive").isEmpty())
        return renderArchive(option("--archive"), option("--station").toUInt(),
                             option("--days").toInt(), png);

    // Ten years of 5-minute records with the module's events between them.
    const int count = option("--records").isEmpty() ? 1050000 : option("--records").toInt();
    sim::LogOptions options;
    options.intervalSeconds = 300;
    options.start = {2016, 1, 1, 0, 0, 0};
    std::vector<sim::Record> log = sim::generateLog(count, 17, options);
    spoil(log);

    std::unique_ptr<archive::Database> database;
    // --keep FILE fills FILE once and reads it again on later runs.
    const QString path =
        option("--keep").isEmpty() ? folder.filePath("archive.sqlite") : option("--keep");
    const bool filled = QFileInfo::exists(path);
    if (archive::Database::openLocal(path, database).failed())
        return 1;
    // Downloads of a full store each, one marked record among them, and
    // three days around the middle that no download brought.
    const quint32 capacity = LogRecord::StoreCapacity;
    OwnRecordStore own(capacity);
    const RecordStore store = own.store();
    const size_t gapFrom = size_t(count) / 2;
    const size_t gapTo = gapFrom + 3 * 288;
    QElapsedTimer timer;
    timer.start();
    int downloads = 0;
    for (size_t first = filled ? log.size() : 0; first < log.size();) {
        quint32 filled = 0;
        for (; filled < capacity && first < log.size(); ++first) {
            if (first >= gapFrom && first < gapTo)
                continue;
            std::memcpy(store.records[filled], log[first].data(), LogRecord::Size);
            store.badChecksum[filled] = first == gapTo + 5000 ? 1 : 0;
            ++filled;
        }
        archive::DownloadFacts facts;
        facts.serial = Serial;
        facts.stationId = "Ridge North";
        facts.downloadedAt = QDateTime::currentMSecsSinceEpoch();
        facts.recordCount = filled;
        archive::IngestSummary summary;
        if (archive::archiveDownload(*database, facts, store, summary).failed())
            return 1;
        ++downloads;
    }
    const double fillMs = msOf(timer);
    // The station's configuration as read at its first visit: °C, hPa, m/s, mm.
    config::Configuration configuration = config::Configuration::freshForm();
    configuration.setValue("PressUnits", "3");
    configuration.setValue("RainType", "1");
    archive::ConfigurationFacts facts;
    facts.serial = Serial;
    facts.recordedAt = QDateTime(QDate(2015, 12, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    facts.program = "talvik";
    if (!filled && archive::recordConfiguration(*database, facts, configuration).failed())
        return 1;
    // The archive read alone, as the viewer does it.
    timer.restart();
    LogReader::Log read;
    if (archive::readHistory(*database, Serial, archive::NoLimit, archive::NoLimit, read).failed())
        return 1;
    const double readMs = msOf(timer);
    const int measurements = read.measurementCount();
    read = LogReader::Log();
    database.reset();

    qputenv("TALVIK_ARCHIVE", path.toLocal8Bit());
    LogViewer viewer;
    viewer.resize(1600, 1000);
    viewer.show();
    QApplication::processEvents();
    const archive::Span all = archive::Span::All;
    timer.restart();
    if (viewer.openStation(Serial, &all) != 0)
        return 1;
    const double loadMs = msOf(timer);
    timer.restart();
    waitForCheck(viewer);
    const double checkMs = msOf(timer);
    // Eight panels: one column each.
    checkColumns(viewer, {"Temperature", "Humidity", "Pressure", "Wind", "Direction", "Rain Day",
                          "Analog 1", "Battery Voltage"});
    LogPlot *plot = viewer.logPlot();
    const int panels = plot->panelCount();
    QApplication::processEvents();

    // Pans and zooms over every scale, from all ten years to a day.
    const QCPRange full = plot->timeRange();
    std::vector<double> times;
    const double spans[] = {full.size(), full.size() / 10, 30 * 86400.0, 7 * 86400.0, 86400.0};
    for (double span : spans) {
        double start = full.lower + (full.size() - span) / 3;
        plot->showRange(start, start + span); // the zoom
        for (int pan = 0; pan < 9; ++pan) {
            start += span / 37;
            timer.restart();
            plot->showRange(start, start + span);
            times.push_back(msOf(timer));
        }
        timer.restart();
        plot->showRange(start - span / 2, start + span * 1.5); // zoom out
        times.push_back(msOf(timer));
        timer.restart();
        plot->showRange(start, start + span); // and in again
        times.push_back(msOf(timer));
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double slowest = times.back();

    std::printf("%s, %d cores, Qt %s, QT_QPA_PLATFORM=%s\n",
                qPrintable(QSysInfo::prettyProductName()), QThread::idealThreadCount(), qVersion(),
                qgetenv("QT_QPA_PLATFORM").constData());
    if (filled)
        std::printf("history: %d records of 5 minutes, the archive kept from an earlier run\n",
                    count);
    else
        std::printf("history: %d records of 5 minutes (%zu in the archive: a 3-day gap), %d "
                    "downloads through the ingest: %.0f ms\n",
                    count, log.size() - (gapTo - gapFrom), downloads, fillMs);
    std::printf("archive read of the whole history (%d measurements): %.0f ms\n", measurements,
                readMs);
    std::printf("open the station in the viewer (archive read, columns, first draw): %.0f ms\n",
                loadMs);
    std::printf("health check and quality flags in the worker: %.0f ms more\n", checkMs);
    std::printf("redraw after a pan or zoom, window %dx%d, plot %dx%d, %d panels, %zu redraws: "
                "median %.1f ms, slowest %.1f ms\n",
                viewer.width(), viewer.height(), plot->width(), plot->height(), panels,
                times.size(), median, slowest);
    if (!png.isEmpty()) {
        // The faulty stretch: the stuck day and the spikes after it.
        plot->showRange(full.lower + full.size() * 0.745, full.lower + full.size() * 0.7535);
        viewer.grab().save(png + "-faults.png");
        plot->showAll();
    }
    return render(viewer, png);
}
