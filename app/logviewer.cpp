#include "app/logviewer.h"

#include "app/logplot.h"
#include "app/talvik.h"
#include "log/logformat.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace
{
// The columns plotted when a log is opened, the first one found.
const char *const FirstShown[] = {"Temperature", "Battery Voltage", "Wind"};
// On the item that opens the whole list: the finding it belongs to.
constexpr int FindingRole = Qt::UserRole + 1;
} // namespace

LogViewer::LogViewer(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(tr("Talvik Log Viewer"));
    resize(1200, 760);

    auto *open = new QPushButton(tr("Open..."), this);
    open->setObjectName("ButtonOpenLog");
    auto *fit = new QPushButton(tr("Show All"), this);
    fit->setObjectName("ButtonShowAll");
    fileLabel = new QLabel(this);
    fileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *top = new QHBoxLayout;
    top->addWidget(open);
    top->addWidget(fit);
    top->addWidget(fileLabel, 1);

    columnList = new QTreeWidget(this);
    columnList->setObjectName("ColumnList");
    columnList->setHeaderLabel(tr("Columns"));
    plot = new LogPlot(this);
    plot->setObjectName("LogPlot");
    plot->setMinimumSize(400, 250);

    findingList = new QTreeWidget(this);
    findingList->setObjectName("FindingList");
    findingList->setHeaderLabels({tr("Finding"), tr("Count")});
    findingList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    findingList->header()->setStretchLastSection(false);
    summaryTable = new QTableWidget(this);
    summaryTable->setObjectName("SummaryTable");
    summaryTable->setColumnCount(7);
    summaryTable->setHorizontalHeaderLabels({tr("Column"), tr("Count"), tr("First"), tr("Last"),
                                             tr("Minimum"), tr("Maximum"), tr("Mean")});
    summaryTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    summaryTable->verticalHeader()->hide();
    auto *tabs = new QTabWidget(this);
    tabs->addTab(findingList, tr("Health"));
    tabs->addTab(summaryTable, tr("Columns"));

    auto *right = new QSplitter(Qt::Vertical, this);
    right->addWidget(plot);
    right->addWidget(tabs);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 2);
    right->setSizes({480, 280});
    auto *split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(columnList);
    split->addWidget(right);
    split->setStretchFactor(1, 1);
    split->setSizes({230, 970});

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(split, 1);

    connect(open, &QPushButton::clicked, this,
            [this] { chooseLog(QFileInfo(log.fileName).absolutePath()); });
    connect(fit, &QPushButton::clicked, plot, &LogPlot::showAll);
    connect(columnList, &QTreeWidget::itemChanged, this, &LogViewer::columnChecked);
    connect(findingList, &QTreeWidget::itemClicked, this, &LogViewer::findingClicked);
    connect(findingList, &QTreeWidget::itemActivated, this, &LogViewer::findingClicked);
}

int LogViewer::openLog(const QString &fileName)
{
    LogReader::Log read;
    QString error;
    if (LogReader::readLog(fileName, read, error) != 0) {
        QMessageBox::critical(this, tr("Talvik"), error);
        return -1;
    }
    log = std::move(read);
    health = HealthCheck::check(log);
    qint64 usual = 0;
    plot->setLog(&log, HealthCheck::findGaps(log, usual));
    fileLabel->setText(tr("%1: %2 measurements, %3 system records")
                           .arg(QDir::toNativeSeparators(log.fileName))
                           .arg(log.measurementCount())
                           .arg(log.events.size()));
    delete detailsDialog;
    fillColumns();
    fillHealth();
    return 0;
}

void LogViewer::chooseLog(const QString &folder)
{
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Open Log File"), folder,
                                                          tr("Comma-Separated Values (*.csv)"));
    if (!fileName.isEmpty())
        openLog(fileName);
}

void LogViewer::fillColumns()
{
    filling = true;
    columnList->clear();
    QTreeWidgetItem *group = nullptr;
    int shown = -1;
    for (const char *title : FirstShown) {
        for (size_t c = 0; c < log.columns.size() && shown < 0; ++c)
            if (log.columns[c].title == QLatin1String(title))
                shown = int(c);
    }
    for (const char *name : LogFormat::GroupOrder) {
        group = new QTreeWidgetItem(columnList, {name});
        group->setFlags(Qt::ItemIsEnabled);
    }
    for (size_t c = 0; c < log.columns.size(); ++c) {
        const LogReader::Column &column = log.columns[c];
        group = columnList->findItems(column.group, Qt::MatchExactly).value(0);
        auto *item = new QTreeWidgetItem(group, {column.title});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(0, int(c) == shown ? Qt::Checked : Qt::Unchecked);
        item->setData(0, Qt::UserRole, int(c));
    }
    for (int g = columnList->topLevelItemCount() - 1; g >= 0; --g)
        if (columnList->topLevelItem(g)->childCount() == 0)
            delete columnList->topLevelItem(g);
    columnList->expandAll();
    filling = false;
    columnChecked(nullptr);
}

void LogViewer::columnChecked(QTreeWidgetItem *)
{
    if (filling)
        return;
    std::vector<int> columns;
    for (int g = 0; g < columnList->topLevelItemCount(); ++g) {
        const QTreeWidgetItem *group = columnList->topLevelItem(g);
        for (int i = 0; i < group->childCount(); ++i)
            if (group->child(i)->checkState(0) == Qt::Checked)
                columns.push_back(group->child(i)->data(0, Qt::UserRole).toInt());
    }
    plot->showColumns(columns);
}

void LogViewer::fillHealth()
{
    findingList->clear();
    if (health.findings.empty())
        new QTreeWidgetItem(findingList, {tr("Nothing needs a look.")});
    const int listed = HealthCheck::limits().timesListed;
    for (size_t f = 0; f < health.findings.size(); ++f) {
        const HealthCheck::Finding &finding = health.findings[f];
        auto *item =
            new QTreeWidgetItem(findingList, {finding.headline, QString::number(finding.count)});
        item->setIcon(0,
                      style()->standardIcon(finding.needsLook ? QStyle::SP_MessageBoxWarning
                                                              : QStyle::SP_MessageBoxInformation));
        const int shown = std::min(int(finding.details.size()), listed);
        for (int i = 0; i < shown; ++i)
            new QTreeWidgetItem(item, {finding.details[i]});
        if (finding.count > shown && shown > 0) {
            // Looks and works like a link: a click shows the whole list.
            auto *more = new QTreeWidgetItem(item, {tr("and %1 more").arg(finding.count - shown)});
            more->setData(0, FindingRole, int(f));
            more->setForeground(0, palette().link());
            QFont font = more->font(0);
            font.setUnderline(true);
            more->setFont(0, font);
            more->setToolTip(0, tr("Show all %1").arg(finding.count));
        }
    }
    findingList->expandAll();

    summaryTable->setRowCount(int(health.columns.size()));
    for (int row = 0; row < int(health.columns.size()); ++row) {
        const HealthCheck::ColumnSummary &c = health.columns[size_t(row)];
        const bool any = c.count > 0;
        const QString cells[] = {c.title,
                                 QString::number(c.count),
                                 any ? LogReader::timeText(c.first) : "-",
                                 any ? LogReader::timeText(c.last) : "-",
                                 any ? HealthCheck::numberText(c.minimum) : "-",
                                 any ? HealthCheck::numberText(c.maximum) : "-",
                                 any ? HealthCheck::numberText(c.mean) : "-"};
        for (int col = 0; col < 7; ++col)
            summaryTable->setItem(row, col, new QTableWidgetItem(cells[col]));
    }
    summaryTable->resizeColumnsToContents();
}

void LogViewer::findingClicked(QTreeWidgetItem *item)
{
    const QVariant finding = item != nullptr ? item->data(0, FindingRole) : QVariant();
    if (!finding.isValid() || finding.toInt() >= int(health.findings.size()))
        return;
    // A double click is a click too: the list it opened stays the one shown.
    if (detailsDialog != nullptr && detailsDialog->property("finding") == finding) {
        detailsDialog->raise();
        detailsDialog->activateWindow();
        return;
    }
    delete detailsDialog;
    showAllDetails(health.findings[size_t(finding.toInt())]);
    detailsDialog->setProperty("finding", finding);
}

void LogViewer::showAllDetails(const HealthCheck::Finding &finding)
{
    auto *dialog = new QDialog(this);
    detailsDialog = dialog;
    dialog->setObjectName("FindingDetails");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(finding.headline);
    auto *label = new QLabel(tr("%1: %2").arg(finding.headline).arg(finding.count), dialog);
    label->setWordWrap(true);
    auto *list = new QListWidget(dialog);
    list->setObjectName("FindingDetailList");
    list->addItems(finding.details);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(label);
    layout->addWidget(list, 1);
    layout->addWidget(buttons);
    dialog->resize(640, 480);
    dialog->show();
}

void Talvik::viewLog()
{
    if (logViewer == nullptr)
        logViewer = new LogViewer(this);
    // The files of this session's last download come first.
    if (!lastLogFile.isEmpty())
        logViewer->openLog(lastLogFile);
    logViewer->show();
    logViewer->raise();
    logViewer->activateWindow();
    if (lastLogFile.isEmpty() && !logViewer->hasLog())
        logViewer->chooseLog(lastDirectory);
}
