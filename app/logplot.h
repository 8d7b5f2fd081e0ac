#ifndef LOGPLOT_H
#define LOGPLOT_H

#include "log/healthcheck.h"
#include "log/logreader.h"
#include "log/qualityflags.h"

#include <qcustomplot.h>

#include <memory>
#include <vector>

class GapShade;
class EventStrip;
class FlagMarks;

// The plot of a log: a panel for each quantity among the chosen columns,
// stacked on one time axis (the file's own clock), each with its own value
// axis naming the quantity and its unit; lines break at the gaps, which are
// shaded; the system events and checksum marks on a strip under the panels,
// gathered where they crowd (their text shows on hover); suspect and bad
// values marked. Drag pans, the wheel zooms the time axis, Shift-drag picks
// a time range; the keys + and - zoom, the arrows pan, Home shows all.
class LogPlot : public QCustomPlot
{
    Q_OBJECT

public:
    explicit LogPlot(QWidget *parent = nullptr);
    ~LogPlot() override;

    // Keeps a reference to log until the next call.
    void setLog(const LogReader::Log *log, const std::vector<HealthCheck::Gap> &gaps);
    // Plots these columns of the log, by their place in it.
    void showColumns(const std::vector<int> &columns);
    const std::vector<int> &shownColumns() const { return columnsShown; }
    // The whole log in view.
    void showAll();
    // The time range in view, seconds on the log's clock.
    void showRange(double from, double to);
    QCPRange timeRange() const { return xAxis->range(); }
    // Puts the time in the middle of the view, keeping its width.
    void showTime(qint64 time);

    // From when each column was logged in which unit (an empty unit: not
    // recorded), one list per column of the log; without one a column has
    // the unit its file fixes.
    struct UnitSpan {
        qint64 from;
        QString unit;
    };
    void setUnits(const std::vector<std::vector<UnitSpan>> &units);
    // The quality flags of the log's checked columns; marked on the plot.
    void setFlags(const std::vector<QualityFlags::ColumnFlags> &flags);

    // The panels, top to bottom, and the columns each shows.
    int panelCount() const { return int(panels.size()); }
    QCPAxis *valueAxis(int panel) const;
    QString panelName(int panel) const;

    struct Marker {
        double time;
        QString text;
        enum Kind { Info, Error, ClockUpdate, Checksum } kind = Info;
    };
    const std::vector<Marker> &markers() const { return markerList; }
    // The text of the markers within a few pixels of x, or an empty text.
    QString markerTextAt(int x) const;
    // The text of the mark on the event strip at x: one event, or every
    // event a crowd gathers (the first dozen and how many more).
    QString eventTextAt(int x) const;

signals:
    // Shift-drag across the plot chose this time range.
    void timeRangeChosen(double from, double to);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    friend class FlagMarks;
    friend class EventStrip;
    struct Series {
        int column;
        QCPGraph *graph;
        std::vector<double> sorted; // the values in time order, when the log is not
        const quint8 *flags = nullptr;
        // Minimum and maximum of each block of values, for zoomed-out views.
        std::vector<float> blockMin, blockMax;
        const double *values(const LogReader::Log &log) const;
    };
    struct Panel {
        QString name;
        QCPAxisRect *rect;
        std::vector<Series> series;
    };

    void hover(QMouseEvent *event);
    void clearPanels();
    void timeRangeChanged(const QCPRange &range);
    // Fills each graph with what the view shows: every value when there is
    // room for it, else the minimum and maximum of each pixel column.
    void refreshData();
    void fillSeries(Series &series, int pixels);
    void buildBlocks(Series &series);
    void relabel();
    QString unitsOf(int column, double from, double to) const;
    void chooseRange(const QRect &rect, QMouseEvent *event);

    const LogReader::Log *log = nullptr;
    std::vector<Marker> markerList; // sorted by time
    std::vector<double> keys;       // the measurement times in order
    std::vector<int> keyRecords;    // the measurement each one is
    std::vector<char> breakBefore;  // a gap lies between key k - 1 and k
    std::vector<char> blockBreak;   // a gap lies inside the block
    bool inOrder = true;            // keyRecords is 0, 1, 2, ...
    std::vector<HealthCheck::Gap> gapList;
    std::vector<std::vector<UnitSpan>> unitSpans;
    std::vector<QualityFlags::ColumnFlags> flagList;
    std::vector<int> columnsShown;
    std::vector<Panel> panels;
    GapShade *gapShade;
    EventStrip *eventStrip;
    FlagMarks *flagMarks;
    QCPAxisRect *strip; // the event strip, the plot's first axis rect
    QCPMarginGroup *margins;
    QCPRange filledRange;
    int filledWidth = -1;
    bool syncing = false;
};

#endif
