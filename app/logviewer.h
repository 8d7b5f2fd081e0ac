#ifndef LOGVIEWER_H
#define LOGVIEWER_H

#include "log/healthcheck.h"
#include "log/logreader.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>

class LogPlot;
class QLabel;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

// A window on one downloaded log: its columns listed by group to plot, the
// plot, and the health check of the station with a summary of each column.
class LogViewer : public QWidget
{
    Q_OBJECT

public:
    explicit LogViewer(QWidget *parent = nullptr);

    // Reads and shows the log; tells the user and keeps the log shown
    // before when the file cannot be read. 0 on success, -1 otherwise.
    int openLog(const QString &fileName);
    // Asks for a file in folder and opens it.
    void chooseLog(const QString &folder);

    const HealthCheck::Report &report() const { return health; }
    bool hasLog() const { return !log.fileName.isEmpty(); }

private:
    void columnChecked(QTreeWidgetItem *item);
    void fillColumns();
    void fillHealth();
    // The item under a finding that says how many more there are opens a
    // window with every one of them.
    void findingClicked(QTreeWidgetItem *item);
    void showAllDetails(const HealthCheck::Finding &finding);

    LogReader::Log log;
    HealthCheck::Report health;
    QLabel *fileLabel;
    QTreeWidget *columnList;
    LogPlot *plot;
    QTreeWidget *findingList;
    QTableWidget *summaryTable;
    QPointer<QDialog> detailsDialog;
    bool filling = false;
};

#endif
