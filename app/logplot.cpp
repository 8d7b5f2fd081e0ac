#include "app/logplot.h"

#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{

constexpr int MarkerReach = 4;   // pixels either side of a marker line
constexpr int GatherPixels = 18; // events closer than this on the strip are one mark
constexpr int CrowdListed = 12;  // events a crowd's hover text lists
constexpr size_t Block = 256;    // values summarized together for zoomed-out views
constexpr double NoValue = std::numeric_limits<double>::quiet_NaN();

const QColor GraphColours[] = {QColor(31, 119, 180),  QColor(214, 39, 40),  QColor(44, 160, 44),
                               QColor(148, 103, 189), QColor(255, 127, 14), QColor(140, 86, 75),
                               QColor(227, 119, 194), QColor(23, 190, 207)};

const QColor &kindColour(LogPlot::Marker::Kind kind)
{
    static const QColor colours[] = {QColor(120, 120, 120), QColor(200, 30, 30),
                                     QColor(30, 90, 200), QColor(230, 120, 0)};
    return colours[kind];
}

// Which mark a crowd takes: the one a technician must see first.
int severity(LogPlot::Marker::Kind kind)
{
    switch (kind) {
    case LogPlot::Marker::Error:
        return 3;
    case LogPlot::Marker::Checksum:
        return 2;
    case LogPlot::Marker::ClockUpdate:
        return 1;
    case LogPlot::Marker::Info:
        break;
    }
    return 0;
}

// The panel a column belongs to: one per quantity, so that each value axis
// has a single unit and a scale of its own.
QString panelOf(const LogReader::Column &column)
{
    using LogFormat::Quantity;
    const QString &t = column.title;
    if (column.quantity == Quantity::Direction)
        return QObject::tr("Direction");
    if (column.quantity == Quantity::WindSpeed)
        return QObject::tr("Wind speed");
    if (t.startsWith("Soil Mosture"))
        return QObject::tr("Soil moisture");
    if (t.startsWith("Soil Temp"))
        return QObject::tr("Soil temperature");
    if (column.quantity == Quantity::BatteryVoltage || column.quantity == Quantity::InputVoltage)
        return QObject::tr("Voltage");
    if (t == "CM Temperature")
        return QObject::tr("Module temperature");
    if (t == "Trend")
        return QObject::tr("Pressure trend");
    if (column.quantity == Quantity::Status && column.group != "Lightning")
        return QObject::tr("Status");
    return column.group;
}

const char *const PanelOrder[] = {"Temperature",
                                  "Humidity",
                                  "Pressure",
                                  "Pressure trend",
                                  "Wind speed",
                                  "Direction",
                                  "Rain",
                                  "Solar",
                                  "Analog channels",
                                  "Soil moisture",
                                  "Soil temperature",
                                  "Voltage",
                                  "Module temperature",
                                  "Status",
                                  "Lightning"};

int panelRank(const QString &name)
{
    const auto *found = std::find_if(std::begin(PanelOrder), std::end(PanelOrder),
                                     [&](const char *n) { return name == QLatin1String(n); });
    return int(found - std::begin(PanelOrder));
}

} // namespace

// The gaps, shaded across every panel and the event strip.
class GapShade : public QCPLayerable
{
public:
    GapShade(LogPlot *plot) : QCPLayerable(plot, "grid"), plot(plot) {}
    std::vector<HealthCheck::Gap> gaps; // by start

protected:
    void applyDefaultAntialiasingHint(QCPPainter *painter) const override
    {
        painter->setAntialiasing(false);
    }
    void draw(QCPPainter *painter) override
    {
        const QCPRange range = plot->xAxis->range();
        auto gap = std::lower_bound(gaps.begin(), gaps.end(), range.lower,
                                    [](const HealthCheck::Gap &g, double t) { return g.to < t; });
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(128, 128, 128, 60));
        for (; gap != gaps.end() && gap->from <= range.upper; ++gap) {
            const double x1 = plot->xAxis->coordToPixel(double(gap->from));
            const double x2 = plot->xAxis->coordToPixel(double(gap->to));
            for (QCPAxisRect *rect : plot->axisRects()) {
                const QRect inner = rect->rect();
                const double left = std::max(x1, double(inner.left()));
                const double right = std::min(x2, double(inner.right()));
                if (right > left)
                    painter->drawRect(QRectF(left, inner.top(), right - left, inner.height()));
            }
        }
    }

private:
    LogPlot *plot;
};

// The events on their strip: a bar each, coloured by kind, or where they
// crowd one mark with their count, redrawn for every view so that zooming in
// takes a crowd apart.
class EventStrip : public QCPLayerable
{
public:
    EventStrip(LogPlot *plot) : QCPLayerable(plot, "main"), plot(plot) {}

    struct Mark {
        double left, right;
        size_t first, count;
    };
    std::vector<Mark> marks;

protected:
    void applyDefaultAntialiasingHint(QCPPainter *painter) const override
    {
        painter->setAntialiasing(true);
    }
    QRect clipRect() const override { return plot->strip->rect(); }
    void draw(QCPPainter *painter) override
    {
        marks.clear();
        const std::vector<LogPlot::Marker> &list = plot->markers();
        const QRect strip = plot->strip->rect();
        const QCPRange range = plot->xAxis->range();
        auto it = std::lower_bound(list.begin(), list.end(), range.lower,
                                   [](const LogPlot::Marker &m, double t) { return m.time < t; });
        for (; it != list.end() && it->time <= range.upper; ++it) {
            const double x = plot->xAxis->coordToPixel(it->time);
            if (!marks.empty() && x - marks.back().left <= GatherPixels) {
                marks.back().right = x;
                ++marks.back().count;
            } else {
                marks.push_back({x, x, size_t(it - list.begin()), 1});
            }
        }
        QFont font = plot->font();
        font.setPixelSize(10);
        font.setBold(true);
        painter->setFont(font);
        for (const Mark &mark : marks) {
            LogPlot::Marker::Kind kind = list[mark.first].kind;
            for (size_t i = mark.first; i < mark.first + mark.count; ++i)
                if (severity(list[i].kind) > severity(kind))
                    kind = list[i].kind;
            const QColor &colour = kindColour(kind);
            if (mark.count == 1) {
                painter->setPen(QPen(colour, 2));
                painter->drawLine(QPointF(mark.left, strip.top() + 2),
                                  QPointF(mark.left, strip.bottom() - 2));
                continue;
            }
            const QString count = QString::number(mark.count);
            const double width =
                std::max(mark.right - mark.left,
                         double(painter->fontMetrics().horizontalAdvance(count) + 6));
            const QRectF box((mark.left + mark.right - width) / 2, strip.top() + 2, width,
                             strip.height() - 4);
            painter->setPen(Qt::NoPen);
            painter->setBrush(colour);
            painter->drawRoundedRect(box, 3, 3);
            painter->setPen(Qt::white);
            painter->drawText(box, Qt::AlignCenter, count);
        }
    }

private:
    LogPlot *plot;
};

// Suspect values as orange rings and bad ones as red dots, one of each kind
// per pixel column at most.
class FlagMarks : public QCPLayerable
{
public:
    FlagMarks(LogPlot *plot) : QCPLayerable(plot, "axes"), plot(plot) {}

protected:
    void applyDefaultAntialiasingHint(QCPPainter *painter) const override
    {
        painter->setAntialiasing(true);
    }
    void draw(QCPPainter *painter) override
    {
        if (plot->log == nullptr)
            return;
        const std::vector<double> &keys = plot->keys;
        const QCPRange range = plot->xAxis->range();
        const size_t lo =
            size_t(std::lower_bound(keys.begin(), keys.end(), range.lower) - keys.begin());
        const size_t hi =
            size_t(std::upper_bound(keys.begin(), keys.end(), range.upper) - keys.begin());
        for (const LogPlot::Panel &panel : plot->panels) {
            painter->save();
            painter->setClipRect(panel.rect->rect().adjusted(-3, -3, 3, 3));
            QCPAxis *x = panel.rect->axis(QCPAxis::atBottom);
            QCPAxis *y = panel.rect->axis(QCPAxis::atLeft);
            for (const LogPlot::Series &series : panel.series) {
                if (series.flags == nullptr)
                    continue;
                const double *values = series.values(*plot->log);
                int lastColumn[2] = {std::numeric_limits<int>::min(),
                                     std::numeric_limits<int>::min()};
                for (size_t k = lo; k < hi; ++k) {
                    const quint8 flag =
                        series.flags[plot->inOrder ? k : size_t(plot->keyRecords[k])];
                    if (flag != QualityFlags::Suspect && flag != QualityFlags::Bad)
                        continue;
                    const bool bad = flag == QualityFlags::Bad;
                    const double px = x->coordToPixel(keys[k]);
                    if (int(px) == lastColumn[bad])
                        continue;
                    lastColumn[bad] = int(px);
                    const QPointF at(px, y->coordToPixel(values[k]));
                    if (bad) {
                        painter->setPen(Qt::NoPen);
                        painter->setBrush(QColor(210, 20, 20));
                        painter->drawEllipse(at, 3.5, 3.5);
                    } else {
                        painter->setPen(QPen(QColor(240, 140, 0), 1.5));
                        painter->setBrush(Qt::NoBrush);
                        painter->drawEllipse(at, 3.5, 3.5);
                    }
                }
            }
            painter->restore();
        }
    }

private:
    LogPlot *plot;
};

const double *LogPlot::Series::values(const LogReader::Log &log) const
{
    return sorted.empty() ? log.columns[size_t(column)].values.data() : sorted.data();
}

LogPlot::LogPlot(QWidget *parent) : QCustomPlot(parent)
{
    // The file prints the module's clock as stored, headed UTC: so does the axis.
    QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
    ticker->setDateTimeSpec(Qt::UTC);
    ticker->setDateTimeFormat("yyyy-MM-dd\nhh:mm");
    xAxis->setTicker(ticker);
    xAxis->setLabel(tr("Date/Time (UTC)"));
    // The default axis rect is the event strip, under the panels. It is
    // taken out of the layout and put back under them as they change.
    strip = axisRect();
    setAutoAddPlottableToLegend(false);
    yAxis->setRange(0, 1);
    yAxis->setTicks(false);
    yAxis->setTickLabels(false);
    yAxis->grid()->setVisible(false);
    yAxis->setLabel(tr("Events"));
    strip->setSizeConstraintRect(QCPLayoutElement::scrInnerRect);
    strip->setMinimumSize(0, 30);
    strip->setMaximumSize(QWIDGETSIZE_MAX, 30);
    QFont small = font();
    small.setPixelSize(10);
    yAxis->setLabelFont(small);
    margins = new QCPMarginGroup(this);
    strip->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    strip->setRangeDrag(Qt::Horizontal);
    strip->setRangeZoom(Qt::Horizontal);
    legend->setVisible(false);
    setNoAntialiasingOnDrag(true);
    // Thin pens drawn as one polyline: a zoomed-out panel is thousands of
    // vertical strokes, which wide or smoothed pens make slow.
    setPlottingHints(QCP::phFastPolylines | QCP::phCacheLabels);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    gapShade = new GapShade(this);
    eventStrip = new EventStrip(this);
    flagMarks = new FlagMarks(this);
    connect(this, &QCustomPlot::mouseMove, this, &LogPlot::hover);
    connect(xAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), this,
            &LogPlot::timeRangeChanged);
    connect(this, &QCustomPlot::afterLayout, this, &LogPlot::refreshData);
    connect(selectionRect(), &QCPSelectionRect::accepted, this, &LogPlot::chooseRange);
}

LogPlot::~LogPlot() = default;

void LogPlot::setLog(const LogReader::Log *newLog, const std::vector<HealthCheck::Gap> &gaps)
{
    clearPanels();
    log = newLog;
    markerList.clear();
    keys.clear();
    keyRecords.clear();
    breakBefore.clear();
    blockBreak.clear();
    unitSpans.clear();
    flagList.clear();
    gapShade->gaps.clear();
    if (log == nullptr) {
        replot();
        return;
    }
    for (int i = 0; i < log->measurementCount(); ++i) {
        if (log->time[size_t(i)] != LogReader::NoTime) {
            keys.push_back(double(log->time[size_t(i)]));
            keyRecords.push_back(i);
        }
    }
    // The time can step back at a clock update: the plot shows time order.
    inOrder =
        std::is_sorted(keys.begin(), keys.end()) && int(keys.size()) == log->measurementCount();
    if (!std::is_sorted(keys.begin(), keys.end())) {
        std::vector<size_t> order(keys.size());
        for (size_t k = 0; k < order.size(); ++k)
            order[k] = k;
        std::stable_sort(order.begin(), order.end(),
                         [this](size_t a, size_t b) { return keys[a] < keys[b]; });
        std::vector<double> sortedKeys(keys.size());
        std::vector<int> sortedRecords(keys.size());
        for (size_t k = 0; k < order.size(); ++k) {
            sortedKeys[k] = keys[order[k]];
            sortedRecords[k] = keyRecords[order[k]];
        }
        keys.swap(sortedKeys);
        keyRecords.swap(sortedRecords);
    }

    // A line breaks where a gap begins; in time order a step at least as
    // long as the shortest gap is one.
    gapShade->gaps = gaps;
    std::sort(gapShade->gaps.begin(), gapShade->gaps.end(),
              [](const HealthCheck::Gap &a, const HealthCheck::Gap &b) { return a.from < b.from; });
    breakBefore.assign(keys.size(), 0);
    blockBreak.assign(keys.size() / Block + 1, 0);
    if (!gaps.empty()) {
        qint64 shortest = std::numeric_limits<qint64>::max();
        for (const HealthCheck::Gap &gap : gaps)
            shortest = std::min(shortest, gap.to - gap.from);
        for (size_t k = 1; k < keys.size(); ++k)
            if (keys[k] - keys[k - 1] >= double(shortest)) {
                breakBefore[k] = 1;
                if (k % Block != 0)
                    blockBreak[k / Block] = 1;
            }
    }

    for (const LogReader::Event &event : log->events) {
        if (event.time == LogReader::NoTime)
            continue;
        const Marker::Kind kind = event.checksumError                     ? Marker::Checksum
                                  : event.kind == LogReader::Event::Error ? Marker::Error
                                  : event.clockUpdate                     ? Marker::ClockUpdate
                                                                          : Marker::Info;
        markerList.push_back({double(event.time),
                              LogReader::timeText(event.time) + "  " + event.text +
                                  (event.checksumError ? ", CHECKSUM ERROR" : ""),
                              kind});
    }
    for (int i = 0; i < log->measurementCount(); ++i)
        if (log->checksumError[size_t(i)] && log->time[size_t(i)] != LogReader::NoTime)
            markerList.push_back(
                {double(log->time[size_t(i)]),
                 LogReader::timeText(log->time[size_t(i)]) + "  " +
                     tr("Measurement %1, CHECKSUM ERROR").arg(log->index[size_t(i)]),
                 Marker::Checksum});
    std::stable_sort(markerList.begin(), markerList.end(),
                     [](const Marker &a, const Marker &b) { return a.time < b.time; });
    showColumns({});
}

void LogPlot::setUnits(const std::vector<std::vector<UnitSpan>> &units)
{
    unitSpans = units;
    relabel();
    replot();
}

void LogPlot::setFlags(const std::vector<QualityFlags::ColumnFlags> &flags)
{
    flagList = flags;
    for (Panel &panel : panels)
        for (Series &series : panel.series) {
            series.flags = nullptr;
            for (const QualityFlags::ColumnFlags &f : flagList)
                if (f.column == series.column && log != nullptr &&
                    int(f.flags.size()) == log->measurementCount())
                    series.flags = f.flags.data();
        }
    replot();
}

void LogPlot::clearPanels()
{
    for (Panel &panel : panels) {
        for (Series &series : panel.series)
            removeGraph(series.graph);
        plotLayout()->remove(panel.rect);
    }
    panels.clear();
    columnsShown.clear();
    if (plotLayout()->elements(false).contains(strip)) {
        plotLayout()->take(strip);
        plotLayout()->simplify();
    }
}

void LogPlot::showColumns(const std::vector<int> &columns)
{
    clearPanels();
    columnsShown = columns;
    if (log != nullptr) {
        for (int c : columns) {
            const QString name = panelOf(log->columns[size_t(c)]);
            auto panel = std::find_if(panels.begin(), panels.end(),
                                      [&](const Panel &p) { return p.name == name; });
            if (panel == panels.end()) {
                panels.push_back({name, nullptr, {}});
                panel = panels.end() - 1;
            }
            panel->series.push_back({c, nullptr, {}, nullptr, {}, {}});
        }
        std::stable_sort(panels.begin(), panels.end(), [](const Panel &a, const Panel &b) {
            return panelRank(a.name) < panelRank(b.name);
        });
    }
    int colour = 0;
    for (size_t p = 0; p < panels.size(); ++p) {
        Panel &panel = panels[p];
        panel.rect = new QCPAxisRect(this);
        plotLayout()->addElement(int(p), 0, panel.rect);
        panel.rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
        panel.rect->setRangeDrag(Qt::Horizontal);
        panel.rect->setRangeZoom(Qt::Horizontal);
        QCPAxis *value = panel.rect->axis(QCPAxis::atLeft);
        value->ticker()->setTickCount(3);
        QFont labelFont = font();
        labelFont.setPixelSize(11);
        value->setLabelFont(labelFont);
        value->setTickLabelFont(labelFont);
        QCPAxis *time = panel.rect->axis(QCPAxis::atBottom);
        time->setTicker(xAxis->ticker());
        time->setTickLabels(false);
        time->setRange(xAxis->range());
        connect(time, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), this,
                &LogPlot::timeRangeChanged);
        auto *legend = new QCPLegend;
        panel.rect->insetLayout()->addElement(legend, Qt::AlignTop | Qt::AlignLeft);
        legend->setLayer("legend");
        QFont small = font();
        small.setPixelSize(10);
        legend->setFont(small);
        legend->setBrush(QColor(255, 255, 255, 200));
        legend->setRowSpacing(0);
        for (Series &series : panel.series) {
            const LogReader::Column &column = log->columns[size_t(series.column)];
            series.graph = addGraph(time, panel.rect->axis(QCPAxis::atLeft));
            series.graph->setName(column.title);
            series.graph->setPen(QPen(GraphColours[colour++ % std::size(GraphColours)], 1));
            series.graph->addToLegend(legend);
            if (!inOrder) {
                series.sorted.resize(keys.size());
                for (size_t k = 0; k < keys.size(); ++k)
                    series.sorted[k] = column.values[size_t(keyRecords[k])];
            }
            for (const QualityFlags::ColumnFlags &f : flagList)
                if (f.column == series.column && int(f.flags.size()) == log->measurementCount())
                    series.flags = f.flags.data();
        }
    }
    plotLayout()->addElement(int(panels.size()), 0, strip);
    // The strip keeps its height; the panels share the rest.
    for (size_t p = 0; p < panels.size(); ++p)
        plotLayout()->setRowStretchFactor(int(p), 1);
    plotLayout()->setRowStretchFactor(int(panels.size()), 0.01);
    plotLayout()->setRowSpacing(4);
    filledWidth = -1;
    relabel();
    showAll();
}

QCPAxis *LogPlot::valueAxis(int panel) const
{
    return panels[size_t(panel)].rect->axis(QCPAxis::atLeft);
}

QString LogPlot::panelName(int panel) const
{
    return panels[size_t(panel)].name;
}

void LogPlot::showAll()
{
    if (!keys.empty())
        showRange(keys.front(), std::max(keys.back(), keys.front() + 60));
    for (Panel &panel : panels) {
        double low = std::numeric_limits<double>::infinity();
        double high = -low;
        for (const Series &series : panel.series)
            for (double v : log->columns[size_t(series.column)].values)
                if (std::isfinite(v)) {
                    low = std::min(low, v);
                    high = std::max(high, v);
                }
        if (low <= high) {
            const double margin = std::max((high - low) * 0.05, 0.5);
            panel.rect->axis(QCPAxis::atLeft)->setRange(low - margin, high + margin);
        }
    }
    replot();
}

void LogPlot::showRange(double from, double to)
{
    xAxis->setRange(from, to);
    replot();
}

void LogPlot::showTime(qint64 time)
{
    const double half = xAxis->range().size() / 2;
    showRange(double(time) - half, double(time) + half);
}

void LogPlot::timeRangeChanged(const QCPRange &range)
{
    if (syncing)
        return;
    syncing = true;
    xAxis->setRange(range);
    for (Panel &panel : panels)
        panel.rect->axis(QCPAxis::atBottom)->setRange(range);
    syncing = false;
}

void LogPlot::refreshData()
{
    const QCPRange range = xAxis->range();
    // At least a screen's width, so a log that is shown before its window
    // is laid out is not thinned to a few points.
    const int pixels = std::max(strip->width(), 800);
    if (range == filledRange && pixels == filledWidth)
        return;
    filledRange = range;
    filledWidth = pixels;
    if (log != nullptr)
        for (Panel &panel : panels)
            for (Series &series : panel.series)
                fillSeries(series, pixels);
    relabel();
}

void LogPlot::buildBlocks(Series &series)
{
    const double *values = series.values(*log);
    const size_t blocks = (keys.size() + Block - 1) / Block;
    series.blockMin.assign(blocks, std::numeric_limits<float>::infinity());
    series.blockMax.assign(blocks, -std::numeric_limits<float>::infinity());
    for (size_t k = 0; k < keys.size(); ++k) {
        const double v = values[k];
        if (std::isfinite(v)) {
            float &low = series.blockMin[k / Block];
            float &high = series.blockMax[k / Block];
            low = std::min(low, float(v));
            high = std::max(high, float(v));
        }
    }
}

void LogPlot::fillSeries(Series &series, int pixels)
{
    QVector<QCPGraphData> out;
    const size_t n = keys.size();
    const QCPRange range = xAxis->range();
    size_t lo = size_t(std::lower_bound(keys.begin(), keys.end(), range.lower) - keys.begin());
    size_t hi = size_t(std::upper_bound(keys.begin(), keys.end(), range.upper) - keys.begin());
    // One value beyond each edge, so that the lines run to the edges.
    lo = lo > 0 ? lo - 1 : lo;
    hi = hi < n ? hi + 1 : hi;
    const double *values = series.values(*log);
    if (hi - lo <= size_t(2 * pixels)) {
        out.reserve(int(hi - lo) + 16);
        for (size_t k = lo; k < hi; ++k) {
            if (k > lo && breakBefore[k])
                out.append(QCPGraphData((keys[k - 1] + keys[k]) / 2, NoValue));
            out.append(QCPGraphData(keys[k], values[k]));
        }
        series.graph->setAntialiased(true);
        series.graph->data()->set(out, true);
        return;
    }
    series.graph->setAntialiased(false);
    // Zoomed out: the lowest and the highest value of each pixel column, in
    // the order they came, draw the same picture as every value would.
    if (series.blockMin.empty())
        buildBlocks(series);
    out.reserve(4 * pixels + 16);
    const double width = range.size() / pixels;
    long long column = std::numeric_limits<long long>::min();
    double low = 0, high = 0;
    size_t lowAt = 0, highAt = 0;
    bool any = false;
    const auto flush = [&] {
        if (!any)
            return;
        if (lowAt == highAt) {
            out.append(QCPGraphData(keys[lowAt], low));
        } else if (lowAt < highAt) {
            out.append(QCPGraphData(keys[lowAt], low));
            out.append(QCPGraphData(keys[highAt], high));
        } else {
            out.append(QCPGraphData(keys[highAt], high));
            out.append(QCPGraphData(keys[lowAt], low));
        }
        any = false;
    };
    const auto columnOf = [&](double key) {
        return static_cast<long long>(std::floor((key - range.lower) / width));
    };
    for (size_t k = lo; k < hi;) {
        if (k > lo && breakBefore[k]) {
            flush();
            out.append(QCPGraphData((keys[k - 1] + keys[k]) / 2, NoValue));
        }
        const long long c = columnOf(keys[k]);
        if (c != column) {
            flush();
            column = c;
        }
        // A whole block within this pixel column and without a gap: its summary.
        if (k % Block == 0 && k + Block <= hi && !blockBreak[k / Block] &&
            columnOf(keys[k + Block - 1]) == c) {
            const size_t b = k / Block;
            if (series.blockMin[b] <= series.blockMax[b]) {
                if (!any || series.blockMin[b] < low) {
                    low = series.blockMin[b];
                    lowAt = k;
                }
                if (!any || series.blockMax[b] > high) {
                    high = series.blockMax[b];
                    highAt = k + Block - 1;
                }
                any = true;
            }
            k += Block;
            continue;
        }
        const double v = values[k];
        if (!std::isnan(v)) {
            if (!any || v < low) {
                low = v;
                lowAt = k;
            }
            if (!any || v > high) {
                high = v;
                highAt = k;
            }
            any = true;
        }
        ++k;
    }
    flush();
    series.graph->data()->set(out, true);
}

QString LogPlot::unitsOf(int column, double from, double to) const
{
    const QString notRecorded = tr("unit not recorded");
    const auto text = [&](const QString &unit) { return unit.isEmpty() ? notRecorded : unit; };
    if (size_t(column) >= unitSpans.size() || unitSpans[size_t(column)].empty())
        return text(log->columns[size_t(column)].unit);
    const std::vector<UnitSpan> &spans = unitSpans[size_t(column)];
    QStringList units;
    for (size_t i = 0; i < spans.size(); ++i) {
        const double end = i + 1 < spans.size() ? double(spans[i + 1].from)
                                                : std::numeric_limits<double>::infinity();
        if (end > from && double(spans[i].from) <= to && !units.contains(text(spans[i].unit)))
            units << text(spans[i].unit);
    }
    return units.isEmpty() ? notRecorded : units.join(tr(", then "));
}

void LogPlot::relabel()
{
    if (log == nullptr)
        return;
    const QCPRange range = xAxis->range();
    for (Panel &panel : panels) {
        QStringList units;
        for (const Series &series : panel.series) {
            const QString unit = unitsOf(series.column, range.lower, range.upper);
            if (!units.contains(unit))
                units << unit;
        }
        // Two lines, so that a short panel still has room for its name.
        panel.rect->axis(QCPAxis::atLeft)
            ->setLabel(QString("%1\n(%2)").arg(panel.name, units.join("; ")));
    }
}

QString LogPlot::markerTextAt(int x) const
{
    const double from = xAxis->pixelToCoord(x - MarkerReach);
    const double to = xAxis->pixelToCoord(x + MarkerReach);
    auto it = std::lower_bound(markerList.begin(), markerList.end(), from,
                               [](const Marker &m, double t) { return m.time < t; });
    QStringList texts;
    for (; it != markerList.end() && it->time <= to && texts.size() < 8; ++it)
        texts << it->text;
    return texts.join('\n');
}

QString LogPlot::eventTextAt(int x) const
{
    for (const EventStrip::Mark &mark : eventStrip->marks) {
        const double half = mark.count > 1 ? std::max(8.0, (mark.right - mark.left) / 2 + 3) : 3;
        const double middle = (mark.left + mark.right) / 2;
        if (x < middle - half || x > middle + half)
            continue;
        QStringList texts;
        if (mark.count > 1)
            texts << tr("%1 events:").arg(mark.count);
        for (size_t i = mark.first; i < mark.first + std::min<size_t>(mark.count, CrowdListed); ++i)
            texts << markerList[i].text;
        if (mark.count > CrowdListed)
            texts << tr("and %1 more: zoom in to see them").arg(mark.count - CrowdListed);
        return texts.join('\n');
    }
    return QString();
}

void LogPlot::hover(QMouseEvent *event)
{
    const QString text =
        strip->rect().contains(event->pos()) ? eventTextAt(event->pos().x()) : QString();
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), text, this);
}

void LogPlot::mousePressEvent(QMouseEvent *event)
{
    // Shift-drag marks a time range; a plain drag pans.
    setSelectionRectMode(event->modifiers() & Qt::ShiftModifier ? QCP::srmCustom : QCP::srmNone);
    QCustomPlot::mousePressEvent(event);
}

void LogPlot::mouseReleaseEvent(QMouseEvent *event)
{
    QCustomPlot::mouseReleaseEvent(event);
    setSelectionRectMode(QCP::srmNone);
}

void LogPlot::chooseRange(const QRect &rect, QMouseEvent *)
{
    const double from = xAxis->pixelToCoord(rect.left());
    const double to = xAxis->pixelToCoord(rect.right());
    if (to - from < 1)
        return;
    showRange(from, to);
    emit timeRangeChosen(from, to);
}

void LogPlot::keyPressEvent(QKeyEvent *event)
{
    const QCPRange range = xAxis->range();
    const double middle = range.center();
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        showRange(middle - range.size() / 4, middle + range.size() / 4);
        return;
    case Qt::Key_Minus:
        showRange(middle - range.size(), middle + range.size());
        return;
    case Qt::Key_Left:
        showRange(range.lower - range.size() / 5, range.upper - range.size() / 5);
        return;
    case Qt::Key_Right:
        showRange(range.lower + range.size() / 5, range.upper + range.size() / 5);
        return;
    case Qt::Key_Home:
        showAll();
        return;
    default:
        QCustomPlot::keyPressEvent(event);
    }
}
