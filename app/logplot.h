#ifndef LOGPLOT_H
#define LOGPLOT_H

#include "log/healthcheck.h"
#include "log/logreader.h"

#include <qcustomplot.h>

#include <vector>

// The plot of a log: the chosen columns against the file's own time, the
// system events and checksum marks as lines across it (their text shows on
// hover), the gaps shaded. Drag pans and the wheel zooms the time axis.
class LogPlot : public QCustomPlot
{
    Q_OBJECT

public:
    explicit LogPlot(QWidget *parent = nullptr);

    // Keeps a reference to log until the next call.
    void setLog(const LogReader::Log *log, const std::vector<HealthCheck::Gap> &gaps);
    // Plots these columns of the log, by their place in it.
    void showColumns(const std::vector<int> &columns);
    // The whole log in view.
    void showAll();

    struct Marker {
        double time;
        QString text;
    };
    const std::vector<Marker> &markers() const { return markerList; }
    // The text of the markers within a few pixels of x, or an empty text.
    QString markerTextAt(int x) const;

private:
    void hover(QMouseEvent *event);

    const LogReader::Log *log = nullptr;
    std::vector<Marker> markerList; // sorted by time
    QVector<double> keys;           // the times of the measurements that have one
    std::vector<int> keyRecords;
};

#endif
