#ifndef LOGVIEWER_H
#define LOGVIEWER_H

#include "archive/stationhistory.h"
#include "log/healthcheck.h"
#include "log/logreader.h"
#include "log/qualityflags.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <memory>

class LogPlot;
class QComboBox;
class QLabel;
class QThread;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace archive
{
class Database;
}

// A window on one downloaded log or on a station's history from the
// archive: its columns listed by group to plot, the plot, and the health
// check of the station with a summary of each column.
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

    // Reads the station's history from the local archive, over the span
    // counted back from its newest record (or the span remembered for it
    // when span is null); tells the user and keeps what was shown when it
    // cannot. 0 on success, -1 otherwise.
    int openStation(quint32 serial, const archive::Span *span = nullptr);
    // Lists the archive's stations to pick one from.
    void chooseStation();

    const HealthCheck::Report &report() const { return health; }
    const std::vector<QualityFlags::ColumnFlags> &flags() const { return valueFlags; }
    bool hasLog() const { return log != nullptr && !log->fileName.isEmpty(); }
    // Whether the health check of what is shown is still running.
    bool checking() const;
    quint32 station() const { return serial; }
    LogPlot *logPlot() const { return plot; }

    ~LogViewer() override;

private:
    struct Checked;
    void display(std::shared_ptr<const LogReader::Log> shown, const QString &label);
    void startCheck();
    void checkDone(quint64 generation, std::shared_ptr<Checked> result);
    void spanChosen(int index);
    void applySpan(archive::Span span);
    void rememberStation();
    std::vector<int> rememberedColumns() const;
    archive::Database *archiveDatabase();
    void savePlot();
    void copyVisible();
    void findingJump(QTreeWidgetItem *item);

    void columnChecked(QTreeWidgetItem *item);
    void fillColumns();
    void fillHealth();
    // The item under a finding that says how many more there are opens a
    // window with every one of them.
    void findingClicked(QTreeWidgetItem *item);
    void showAllDetails(const HealthCheck::Finding &finding);

    // Shared with the health check's worker while it runs.
    std::shared_ptr<const LogReader::Log> log;
    HealthCheck::Report health;
    std::vector<QualityFlags::ColumnFlags> valueFlags;
    std::unique_ptr<archive::Database> database;
    quint32 serial = 0; // the station shown; 0 for a file
    qint64 newest = 0;  // the station's newest record
    std::vector<archive::ConfigurationAt> configurations;
    QThread *checker = nullptr;       // the check of what is shown
    QList<QPointer<QThread>> running; // every check not yet finished
    quint64 generation = 0;
    QComboBox *spanBox;
    QLabel *fileLabel;
    QTreeWidget *columnList;
    LogPlot *plot;
    QTreeWidget *findingList;
    QTableWidget *summaryTable;
    QPointer<QDialog> detailsDialog;
    bool filling = false;
};

#endif
