#include "app/logviewer.h"

#include "app/logplot.h"
#include "app/talvik.h"
#include "archive/archivedatabase.h"
#include "archive/archivelocation.h"
#include "archive/archivequeries.h"
#include "archive/history.h"
#include "log/logformat.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
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
#include <QSettings>
#include <QSplitter>
#include <QSvgGenerator>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
// The columns plotted when a log is opened, the first one found.
const char *const FirstShown[] = {"Temperature", "Battery Voltage", "Wind"};
// On the item that opens the whole list: the finding it belongs to.
constexpr int FindingRole = Qt::UserRole + 1;
// On an item that names a time: the time, to show it on the plot.
constexpr int TimeRole = Qt::UserRole + 2;

// The spans of the range box, in its order; the last item is a range picked
// on the plot.
const archive::Span Spans[] = {archive::Span::Day, archive::Span::Week, archive::Span::Month,
                               archive::Span::Year, archive::Span::All};

QString stationKey(quint32 serial)
{
    return QStringLiteral("LogViewer/station-%1").arg(serial);
}
} // namespace

// What the health check's worker hands back.
struct LogViewer::Checked {
    HealthCheck::Report report;
    std::vector<QualityFlags::ColumnFlags> flags;
};

LogViewer::LogViewer(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(tr("Talvik Log Viewer"));
    resize(1200, 760);

    auto *open = new QPushButton(tr("Open..."), this);
    open->setObjectName("ButtonOpenLog");
    auto *stationButton = new QPushButton(tr("Station..."), this);
    stationButton->setObjectName("ButtonOpenStation");
    stationButton->setToolTip(tr("A station's history from the archive"));
    spanBox = new QComboBox(this);
    spanBox->setObjectName("ComboBoxSpan");
    spanBox->addItems({tr("Last day"), tr("Last week"), tr("Last month"), tr("Last year"),
                       tr("All"), tr("Range picked on the plot")});
    spanBox->setCurrentIndex(4);
    spanBox->setToolTip(tr("Counted back from the newest record; Shift-drag across the plot "
                           "picks a range"));
    auto *fit = new QPushButton(tr("Show All"), this);
    fit->setObjectName("ButtonShowAll");
    auto *save = new QPushButton(tr("Save Plot..."), this);
    save->setObjectName("ButtonSavePlot");
    auto *copy = new QPushButton(tr("Copy"), this);
    copy->setObjectName("ButtonCopyVisible");
    copy->setToolTip(tr("Copy the shown columns over the time in view as CSV"));
    fileLabel = new QLabel(this);
    fileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long station name or path is cut, not a reason for a wider window.
    fileLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto *top = new QHBoxLayout;
    top->addWidget(open);
    top->addWidget(stationButton);
    top->addWidget(spanBox);
    top->addWidget(fit);
    top->addWidget(save);
    top->addWidget(copy);
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
    right->setStretchFactor(1, 1);
    right->setSizes({560, 200});
    auto *split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(columnList);
    split->addWidget(right);
    split->setStretchFactor(1, 1);
    split->setSizes({230, 970});

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(split, 1);

    connect(open, &QPushButton::clicked, this, [this] {
        chooseLog(log != nullptr && serial == 0 ? QFileInfo(log->fileName).absolutePath()
                                                : QString());
    });
    connect(fit, &QPushButton::clicked, plot, &LogPlot::showAll);
    connect(stationButton, &QPushButton::clicked, this, &LogViewer::chooseStation);
    connect(save, &QPushButton::clicked, this, &LogViewer::savePlot);
    connect(copy, &QPushButton::clicked, this, &LogViewer::copyVisible);
    connect(spanBox, QOverload<int>::of(&QComboBox::activated), this, &LogViewer::spanChosen);
    connect(plot, &LogPlot::timeRangeChosen, this, [this] {
        spanBox->setCurrentIndex(spanBox->count() - 1);
        rememberStation();
    });
    connect(columnList, &QTreeWidget::itemChanged, this, &LogViewer::columnChecked);
    connect(findingList, &QTreeWidget::itemClicked, this, &LogViewer::findingClicked);
    connect(findingList, &QTreeWidget::itemActivated, this, &LogViewer::findingClicked);
    connect(findingList, &QTreeWidget::itemClicked, this, &LogViewer::findingJump);
}

LogViewer::~LogViewer()
{
    // The workers read the logs they were given; none is left running.
    for (const QPointer<QThread> &worker : running)
        if (worker != nullptr)
            worker->wait();
}

int LogViewer::openLog(const QString &fileName)
{
    auto read = std::make_shared<LogReader::Log>();
    QString error;
    if (LogReader::readLog(fileName, *read, error) != 0) {
        QMessageBox::critical(this, tr("Talvik"), error);
        return -1;
    }
    serial = 0;
    configurations.clear();
    display(read, tr("%1: %2 measurements, %3 system records")
                      .arg(QDir::toNativeSeparators(read->fileName))
                      .arg(read->measurementCount())
                      .arg(read->events.size()));
    // One download is at most a full store: its check takes a moment, and
    // is there as soon as the log is.
    Checked checked;
    checked.report = HealthCheck::check(*log);
    checked.flags = QualityFlags::flagLog(*log);
    checkDone(++generation, std::make_shared<Checked>(std::move(checked)));
    applySpan(Spans[std::min(spanBox->currentIndex(), 4)]);
    return 0;
}

void LogViewer::display(std::shared_ptr<const LogReader::Log> shown, const QString &label)
{
    log = std::move(shown);
    health = HealthCheck::Report();
    valueFlags.clear();
    qint64 usual = 0;
    plot->setLog(log.get(), HealthCheck::findGaps(*log, usual));
    // Each column's unit over time: the file fixes some; the station's
    // configurations give the others.
    std::vector<std::vector<LogPlot::UnitSpan>> units(log->columns.size());
    if (serial != 0)
        for (size_t c = 0; c < log->columns.size(); ++c) {
            if (!log->columns[c].unit.isEmpty())
                continue;
            units[c].push_back({std::numeric_limits<qint64>::min(), QString()});
            for (const archive::ConfigurationAt &configuration : configurations)
                units[c].push_back(
                    {configuration.at,
                     archive::configuredUnit(log->columns[c].title, configuration.settings)});
        }
    plot->setUnits(units);
    fileLabel->setText(label);
    delete detailsDialog;
    fillColumns();
    fillHealth();
}

int LogViewer::openStation(quint32 station, const archive::Span *span)
{
    archive::Database *db = archiveDatabase();
    if (db == nullptr)
        return -1;
    archive::StationSpan found;
    OperationResult result = archive::stationSpan(*db, station, found);
    if (result.succeeded() && !found.known)
        result = OperationResult::failure(OperationResult::Reason::Refused,
                                          tr("The archive holds no station %1.").arg(station));
    archive::Span chosen = archive::Span::All;
    if (span != nullptr) {
        chosen = *span;
    } else {
        const int remembered = QSettings().value(stationKey(station) + "/span", 4).toInt();
        chosen = Spans[qBound(0, remembered, 4)];
    }
    const qint64 from =
        found.last == archive::NoLimit ? archive::NoLimit : archive::spanStart(chosen, found.last);
    auto read = std::make_shared<LogReader::Log>();
    std::vector<archive::ConfigurationAt> kept;
    if (result.succeeded())
        result = archive::readHistory(*db, station, from, archive::NoLimit, *read);
    if (result.succeeded())
        result = archive::configurationHistory(*db, station, kept);
    if (result.failed()) {
        QMessageBox::critical(this, tr("Talvik"), result.message());
        return -1;
    }
    serial = station;
    newest = found.last;
    configurations = std::move(kept);
    const QString name = found.idTexts.isEmpty()
                             ? tr("Station %1").arg(station)
                             : tr("%1 (%2)").arg(found.idTexts.first()).arg(station);
    read->fileName = name;
    spanBox->setCurrentIndex(
        int(std::find(std::begin(Spans), std::end(Spans), chosen) - std::begin(Spans)));
    display(read, tr("%1: %2 measurements, %3 system records, %4 to %5 (module's clock)")
                      .arg(name)
                      .arg(read->measurementCount())
                      .arg(read->events.size())
                      .arg(LogReader::timeText(from == archive::NoLimit ? found.first : from),
                           LogReader::timeText(found.last)));
    setWindowTitle(tr("Talvik Log Viewer - %1").arg(name));
    startCheck();
    rememberStation();
    return 0;
}

archive::Database *LogViewer::archiveDatabase()
{
    if (database != nullptr)
        return database.get();
    const archive::Location location = archive::localArchive(archive::archivePreference());
    if (!location.enabled) {
        QMessageBox::information(this, tr("Talvik"),
                                 tr("The station archive is switched off (Tools > Archive "
                                    "Downloads), so there is no history to show."));
        return nullptr;
    }
    const OperationResult opened = archive::Database::openLocal(location.path, database);
    if (opened.failed()) {
        QMessageBox::critical(this, tr("Talvik"), opened.message());
        return nullptr;
    }
    return database.get();
}

void LogViewer::chooseStation()
{
    archive::Database *db = archiveDatabase();
    if (db == nullptr)
        return;
    QVector<archive::StationSummary> stations;
    const OperationResult listed = archive::listStations(*db, stations);
    if (listed.failed()) {
        QMessageBox::critical(this, tr("Talvik"), listed.message());
        return;
    }
    auto *dialog = new QDialog(this);
    dialog->setObjectName("StationDialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("Open a Station's History"));
    auto *list = new QTreeWidget(dialog);
    list->setObjectName("StationList");
    list->setRootIsDecorated(false);
    list->setHeaderLabels({tr("Station"), tr("Serial"), tr("Records"), tr("First record"),
                           tr("Last record"), tr("Last download")});
    for (const archive::StationSummary &station : stations) {
        const bool any = station.records > 0;
        auto *item = new QTreeWidgetItem(
            list, {station.idTexts.join(" / "), QString::number(station.serial),
                   QString::number(station.records),
                   any ? LogReader::timeText(station.firstRecordTime) : "-",
                   any ? LogReader::timeText(station.lastRecordTime) : "-",
                   station.lastDownload == 0 ? QString("-")
                                             : QDateTime::fromMSecsSinceEpoch(station.lastDownload)
                                                   .toString("yyyy-MM-dd hh:mm")});
        item->setData(0, Qt::UserRole, qint64(station.serial));
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    }
    for (int c = 0; c < 6; ++c)
        list->resizeColumnToContents(c);
    if (list->topLevelItemCount() > 0)
        list->setCurrentItem(list->topLevelItem(0));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Open)->setEnabled(list->topLevelItemCount() > 0);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(list, &QTreeWidget::itemActivated, dialog, &QDialog::accept);
    connect(dialog, &QDialog::accepted, this, [this, list] {
        if (QTreeWidgetItem *item = list->currentItem())
            openStation(quint32(item->data(0, Qt::UserRole).toLongLong()));
    });
    auto *layout = new QVBoxLayout(dialog);
    if (stations.isEmpty())
        layout->addWidget(new QLabel(tr("The archive holds no station yet."), dialog));
    layout->addWidget(list, 1);
    layout->addWidget(buttons);
    dialog->resize(760, 320);
    dialog->open();
}

void LogViewer::spanChosen(int index)
{
    if (index >= int(std::size(Spans)))
        return;
    if (serial != 0) {
        // A longer span than was read needs the archive again.
        openStation(serial, &Spans[index]);
        return;
    }
    applySpan(Spans[index]);
}

void LogViewer::applySpan(archive::Span span)
{
    if (log == nullptr || log->time.empty())
        return;
    qint64 last = LogReader::NoTime;
    for (qint64 t : log->time)
        last = std::max(last, t);
    const qint64 from = archive::spanStart(span, last);
    if (span == archive::Span::All || last == LogReader::NoTime)
        plot->showAll();
    else
        plot->showRange(double(from), double(last));
}

void LogViewer::startCheck()
{
    const quint64 mine = ++generation;
    std::vector<double> scales;
    for (const LogReader::Column &column : log->columns)
        scales.push_back(QualityFlags::unitScale(
            archive::configuredUnit(column.title, archive::settingsAt(configurations, newest))));
    std::shared_ptr<const LogReader::Log> checkedLog = log;
    QThread *worker = QThread::create([this, mine, checkedLog, scales] {
        auto result = std::make_shared<Checked>();
        result->report = HealthCheck::check(*checkedLog);
        result->flags = QualityFlags::flagLog(*checkedLog, scales);
        QMetaObject::invokeMethod(
            this, [this, mine, result] { checkDone(mine, result); }, Qt::QueuedConnection);
    });
    // An older check still running finishes on its own; its answer is dropped.
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &QThread::finished, this, [this, worker] {
        running.removeOne(worker);
        if (checker == worker)
            checker = nullptr;
    });
    running.append(worker);
    checker = worker;
    findingList->clear();
    new QTreeWidgetItem(findingList,
                        {tr("Checking %1 measurements...").arg(log->measurementCount())});
    worker->start(QThread::LowPriority);
}

bool LogViewer::checking() const
{
    return checker != nullptr;
}

void LogViewer::checkDone(quint64 done, std::shared_ptr<Checked> result)
{
    if (done != generation)
        return;
    health = std::move(result->report);
    valueFlags = std::move(result->flags);
    plot->setFlags(valueFlags);
    fillHealth();
}

void LogViewer::rememberStation()
{
    if (serial == 0)
        return;
    QSettings settings;
    settings.setValue(stationKey(serial) + "/span", spanBox->currentIndex());
    QStringList titles;
    for (int c : plot->shownColumns())
        titles << log->columns[size_t(c)].title;
    settings.setValue(stationKey(serial) + "/columns", titles);
}

std::vector<int> LogViewer::rememberedColumns() const
{
    std::vector<int> columns;
    if (serial == 0)
        return columns;
    const QSettings settings;
    const QString key = stationKey(serial) + "/columns";
    if (!settings.contains(key))
        return {-1};
    for (const QString &title : settings.value(key).toStringList())
        for (size_t c = 0; c < log->columns.size(); ++c)
            if (log->columns[c].title == title)
                columns.push_back(int(c));
    return columns;
}

namespace
{
// The plot as vectors, the size it has on the screen.
bool saveSvg(QCustomPlot &plot, const QString &fileName)
{
    QSvgGenerator svg;
    svg.setFileName(fileName);
    svg.setSize(plot.size());
    svg.setViewBox(QRect(QPoint(0, 0), plot.size()));
    svg.setTitle(QStringLiteral("Talvik"));
    QCPPainter painter;
    if (!painter.begin(&svg))
        return false;
    plot.toPainter(&painter, plot.width(), plot.height());
    return painter.end() && QFileInfo(fileName).size() > 0;
}
} // namespace

void LogViewer::savePlot()
{
    QString fileName = QFileDialog::getSaveFileName(
        this, tr("Save Plot"), QString(),
        tr("PNG image (*.png);;SVG image (*.svg);;PDF document (*.pdf)"));
    if (fileName.isEmpty())
        return;
    const bool pdf = fileName.endsWith(".pdf", Qt::CaseInsensitive);
    const bool svg = fileName.endsWith(".svg", Qt::CaseInsensitive);
    if (!pdf && !svg && !fileName.endsWith(".png", Qt::CaseInsensitive))
        fileName += ".png";
    const bool saved = pdf   ? plot->savePdf(fileName)
                       : svg ? saveSvg(*plot, fileName)
                             : plot->savePng(fileName);
    if (!saved)
        QMessageBox::critical(
            this, tr("Talvik"),
            tr("%1 could not be written.").arg(QDir::toNativeSeparators(fileName)));
}

void LogViewer::copyVisible()
{
    if (log == nullptr)
        return;
    const QCPRange range = plot->timeRange();
    const std::vector<int> &columns = plot->shownColumns();
    QString text = "Index,Date/Time (UTC)";
    for (int c : columns)
        text += ',' + log->columns[size_t(c)].title;
    text += "\r\n";
    for (int i = 0; i < log->measurementCount(); ++i) {
        const qint64 t = log->time[size_t(i)];
        if (t == LogReader::NoTime || double(t) < range.lower || double(t) > range.upper)
            continue;
        text += QString::number(log->index[size_t(i)]) + ',' + LogReader::timeText(t);
        for (int c : columns) {
            const LogReader::Column &column = log->columns[size_t(c)];
            const double v = column.values[size_t(i)];
            text += ',' + (std::isnan(v) ? QString() : HealthCheck::numberText(v, column.decimals));
        }
        text += "\r\n";
    }
    QApplication::clipboard()->setText(text);
}

void LogViewer::findingJump(QTreeWidgetItem *item)
{
    const QVariant time = item != nullptr ? item->data(0, TimeRole) : QVariant();
    if (time.isValid())
        plot->showTime(time.toLongLong());
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
        for (size_t c = 0; c < log->columns.size() && shown < 0; ++c)
            if (log->columns[c].title == QLatin1String(title))
                shown = int(c);
    }
    // A station shows what was chosen for it last time.
    std::vector<int> remembered = rememberedColumns();
    if (remembered.size() == 1 && remembered[0] < 0)
        remembered = {shown};
    for (const char *name : LogFormat::GroupOrder) {
        group = new QTreeWidgetItem(columnList, {name});
        group->setFlags(Qt::ItemIsEnabled);
    }
    for (size_t c = 0; c < log->columns.size(); ++c) {
        const LogReader::Column &column = log->columns[c];
        group = columnList->findItems(column.group, Qt::MatchExactly).value(0);
        auto *item = new QTreeWidgetItem(group, {column.title});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        const bool checked = serial != 0
                                 ? std::count(remembered.begin(), remembered.end(), int(c)) > 0
                                 : int(c) == shown;
        item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
        item->setData(0, Qt::UserRole, int(c));
    }
    for (int g = columnList->topLevelItemCount() - 1; g >= 0; --g)
        if (columnList->topLevelItem(g)->childCount() == 0)
            delete columnList->topLevelItem(g);
    columnList->expandAll();
    filling = false;
    columnChecked(nullptr);
}

void LogViewer::columnChecked(QTreeWidgetItem *item)
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
    const QCPRange range = plot->timeRange();
    plot->showColumns(columns);
    // Ticking a column keeps the time in view.
    if (item != nullptr)
        plot->showRange(range.lower, range.upper);
    rememberStation();
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
        const bool timed = finding.times.size() == size_t(finding.details.size());
        if (!finding.times.empty() && finding.times[0] != LogReader::NoTime)
            item->setData(0, TimeRole, finding.times[0]);
        for (int i = 0; i < shown; ++i) {
            auto *detail = new QTreeWidgetItem(item, {finding.details[i]});
            if (timed && finding.times[size_t(i)] != LogReader::NoTime) {
                detail->setData(0, TimeRole, finding.times[size_t(i)]);
                detail->setToolTip(0, tr("Click to show it on the plot"));
            }
        }
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
    // How many values each flag rule marked, per checked column.
    QStringList marked;
    for (const QualityFlags::ColumnFlags &f : valueFlags) {
        const auto suspect = std::count(f.flags.begin(), f.flags.end(), QualityFlags::Suspect);
        const auto bad = std::count(f.flags.begin(), f.flags.end(), QualityFlags::Bad);
        if (suspect + bad > 0)
            marked << tr("%1: %2 suspect, %3 bad")
                          .arg(log->columns[size_t(f.column)].title)
                          .arg(suspect)
                          .arg(bad);
    }
    if (!marked.isEmpty()) {
        auto *item = new QTreeWidgetItem(findingList, {tr("Values flagged on the plot (QARTOD: "
                                                          "3 suspect, 4 bad)"),
                                                       QString::number(marked.size())});
        item->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxInformation));
        for (const QString &line : marked)
            new QTreeWidgetItem(item, {line});
    }
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
    if (finding.times.size() == size_t(finding.details.size()))
        for (int i = 0; i < list->count(); ++i)
            if (finding.times[size_t(i)] != LogReader::NoTime)
                list->item(i)->setData(TimeRole, finding.times[size_t(i)]);
    connect(list, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        if (item->data(TimeRole).isValid())
            plot->showTime(item->data(TimeRole).toLongLong());
    });
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
