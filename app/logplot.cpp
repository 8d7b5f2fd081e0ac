#include "app/logplot.h"

#include <QToolTip>

#include <algorithm>

namespace
{

constexpr int MarkerReach = 4; // pixels either side of a marker line

const QColor GraphColours[] = {QColor(31, 119, 180),  QColor(214, 39, 40),  QColor(44, 160, 44),
                               QColor(148, 103, 189), QColor(255, 127, 14), QColor(140, 86, 75),
                               QColor(227, 119, 194), QColor(23, 190, 207)};

} // namespace

LogPlot::LogPlot(QWidget *parent) : QCustomPlot(parent)
{
    // The file prints the module's clock as stored, headed UTC: so does the axis.
    QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
    ticker->setDateTimeSpec(Qt::UTC);
    ticker->setDateTimeFormat("yyyy-MM-dd\nhh:mm");
    xAxis->setTicker(ticker);
    xAxis->setLabel(tr("Date/Time (UTC)"));
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    axisRect()->setRangeDrag(Qt::Horizontal);
    axisRect()->setRangeZoom(Qt::Horizontal);
    legend->setVisible(true);
    axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
    setNoAntialiasingOnDrag(true);
    setMouseTracking(true);
    connect(this, &QCustomPlot::mouseMove, this, &LogPlot::hover);
}

void LogPlot::setLog(const LogReader::Log *newLog, const std::vector<HealthCheck::Gap> &gaps)
{
    log = newLog;
    clearGraphs();
    clearItems();
    markerList.clear();
    keys.clear();
    keyRecords.clear();
    if (log == nullptr) {
        replot();
        return;
    }
    for (int i = 0; i < log->measurementCount(); ++i) {
        if (log->time[size_t(i)] != LogReader::NoTime) {
            keys.append(double(log->time[size_t(i)]));
            keyRecords.push_back(i);
        }
    }

    // Gaps under the graphs, from the bottom of the plot to its top.
    for (const HealthCheck::Gap &gap : gaps) {
        auto *shade = new QCPItemRect(this);
        shade->setLayer("grid");
        shade->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
        shade->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
        shade->topLeft->setCoords(double(gap.from), 0);
        shade->bottomRight->setCoords(double(gap.to), 1);
        shade->setPen(Qt::NoPen);
        shade->setBrush(QColor(128, 128, 128, 60));
    }

    auto addMarker = [this](qint64 time, const QString &text, const QColor &colour) {
        auto *line = new QCPItemStraightLine(this);
        line->point1->setCoords(double(time), 0);
        line->point2->setCoords(double(time), 1);
        line->setPen(QPen(colour, 1, Qt::DashLine));
        line->setSelectable(false);
        markerList.push_back({double(time), LogReader::timeText(time) + "  " + text});
    };
    for (const LogReader::Event &event : log->events) {
        if (event.time == LogReader::NoTime)
            continue;
        const QColor colour = event.checksumError || event.kind == LogReader::Event::Error
                                  ? QColor(200, 30, 30)
                              : event.clockUpdate ? QColor(30, 90, 200)
                                                  : QColor(120, 120, 120);
        addMarker(event.time, event.text + (event.checksumError ? ", CHECKSUM ERROR" : ""), colour);
    }
    for (int i = 0; i < log->measurementCount(); ++i)
        if (log->checksumError[size_t(i)] && log->time[size_t(i)] != LogReader::NoTime)
            addMarker(log->time[size_t(i)],
                      tr("Measurement %1, CHECKSUM ERROR").arg(log->index[size_t(i)]),
                      QColor(230, 120, 0));
    std::stable_sort(markerList.begin(), markerList.end(),
                     [](const Marker &a, const Marker &b) { return a.time < b.time; });
    showColumns({});
}

void LogPlot::showColumns(const std::vector<int> &columns)
{
    clearGraphs();
    // The value axis names the unit when the file fixes one for every column
    // shown; the others carry the module's unit settings, which it does not.
    QString unit;
    if (log != nullptr) {
        int n = 0;
        for (int c : columns) {
            const LogReader::Column &column = log->columns[size_t(c)];
            unit = n == 0 || column.unit == unit ? column.unit : QString();
            QVector<double> values(keys.size());
            for (int k = 0; k < keys.size(); ++k)
                values[k] = column.values[size_t(keyRecords[size_t(k)])];
            QCPGraph *graph = addGraph();
            graph->setName(column.title);
            graph->setPen(QPen(GraphColours[n++ % std::size(GraphColours)], 1.2));
            // The time can step back at a clock update: keep the file's order
            // only when it is already sorted.
            graph->setData(keys, values, std::is_sorted(keys.begin(), keys.end()));
        }
    }
    yAxis->setLabel(unit);
    legend->setVisible(graphCount() > 0);
    showAll();
}

void LogPlot::showAll()
{
    if (!keys.isEmpty()) {
        const auto range = std::minmax_element(keys.begin(), keys.end());
        xAxis->setRange(*range.first, qMax(*range.second, *range.first + 60));
    }
    if (graphCount() > 0) {
        bool found = false;
        QCPRange all;
        for (int g = 0; g < graphCount(); ++g) {
            bool ok = false;
            const QCPRange r = graph(g)->getValueRange(ok);
            if (ok) {
                all = found ? QCPRange(qMin(all.lower, r.lower), qMax(all.upper, r.upper)) : r;
                found = true;
            }
        }
        if (found) {
            const double margin = qMax((all.upper - all.lower) * 0.05, 0.5);
            yAxis->setRange(all.lower - margin, all.upper + margin);
        }
    }
    replot();
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

void LogPlot::hover(QMouseEvent *event)
{
    const QString text = markerTextAt(event->pos().x());
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), text, this);
}
