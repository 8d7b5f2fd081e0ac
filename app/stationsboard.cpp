#include "app/stationsboard.h"

#include "archive/archivedatabase.h"

#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <cmath>
#include <limits>
#include <mutex>

namespace
{
enum Column {
    State,
    Id,
    Serial,
    LastDownload,
    Age,
    NewestRecord,
    Records,
    LastVisit,
    VisitedBy,
    Software,
    ConfigurationChanged,
    Findings,
    WorstFinding,
    Battery,
    BatteryTrend,
    ColumnCount
};

// Handed from the worker to the window. The mutex makes the hand-over one
// that ThreadSanitizer sees too: the finished signal reaches the window
// through Qt's own event queue, whose lock it cannot follow.
struct Reading {
    std::mutex lock;
    OperationResult result = OperationResult::success();
    std::vector<archive::BoardRow> rows;
};

QString pcTime(qint64 ms)
{
    return ms > 0 ? QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd hh:mm") : QString("-");
}

// "3 d 4 h" from milliseconds.
QString spanText(qint64 ms)
{
    const qint64 minutes = ms / 60000;
    if (minutes >= 24 * 60)
        return StationsBoard::tr("%1 d %2 h").arg(minutes / (24 * 60)).arg(minutes / 60 % 24);
    return StationsBoard::tr("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

QTableWidgetItem *item(const QString &text)
{
    auto *made = new QTableWidgetItem(text);
    made->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return made;
}

// Missing first, then late, unknown and on time.
int severity(archive::StationState state)
{
    switch (state) {
    case archive::StationState::Missing:
        return 3;
    case archive::StationState::Late:
        return 2;
    case archive::StationState::Unknown:
        return 1;
    case archive::StationState::OnTime:
        break;
    }
    return 0;
}

constexpr int StateRole = Qt::UserRole + 1;

QColor stateColour(archive::StationState state)
{
    switch (state) {
    case archive::StationState::OnTime:
        return QColor(0xc8, 0xe6, 0xc9);
    case archive::StationState::Late:
        return QColor(0xff, 0xe0, 0x82);
    case archive::StationState::Missing:
        return QColor(0xef, 0x9a, 0x9a);
    case archive::StationState::Unknown:
        break;
    }
    return QColor(0xe0, 0xe0, 0xe0);
}

// Sorts numbers as numbers where the cell carries one.
class SortableItem : public QTableWidgetItem
{
public:
    using QTableWidgetItem::QTableWidgetItem;
    bool operator<(const QTableWidgetItem &other) const override
    {
        const QVariant mine = data(Qt::UserRole);
        const QVariant theirs = other.data(Qt::UserRole);
        if (mine.isValid() && theirs.isValid())
            return mine.toLongLong() < theirs.toLongLong();
        return QTableWidgetItem::operator<(other);
    }
};

QTableWidgetItem *cell(const QString &text, qint64 sortKey)
{
    auto *made = new SortableItem(text);
    made->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    made->setData(Qt::UserRole, sortKey);
    return made;
}
// Volts and volts a day sort by their thousandths; unknown first.
qint64 milli(double value)
{
    return std::isfinite(value) ? qint64(std::llround(value * 1000))
                                : std::numeric_limits<qint64>::min();
}
} // namespace

StationsBoard::StationsBoard(const QString &source, QWidget *parent)
    : QDialog(parent), source(source), status(new QLabel(this)), filter(new QLineEdit(this)),
      stateFilter(new QComboBox(this)), table(new QTableWidget(0, ColumnCount, this))
{
    setObjectName("StationsBoard");
    setWindowTitle(tr("Stations"));
    resize(1100, 520);
    table->setObjectName("TableStations");
    filter->setObjectName("LineEditStationFilter");
    stateFilter->setObjectName("ComboBoxStateFilter");
    status->setObjectName("LabelBoardStatus");
    filter->setPlaceholderText(tr("Filter by ID or serial"));
    filter->setClearButtonEnabled(true);
    stateFilter->addItems({tr("All states"), tr("Not on time"), tr("On time"), tr("Late"),
                           tr("Missing"), tr("Unknown")});
    table->setHorizontalHeaderLabels({tr("State"), tr("ID"), tr("Serial"), tr("Last download"),
                                      tr("Age"), tr("Newest record (module)"), tr("Records"),
                                      tr("Last visit"), tr("By"), tr("Software"),
                                      tr("Settings changed"), tr("Findings (7 d)"),
                                      tr("Worst finding"), tr("Battery"), tr("Battery trend")});
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSortingEnabled(true);
    table->horizontalHeader()->setStretchLastSection(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *reload = buttons->addButton(tr("Refresh"), QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(reload, &QPushButton::clicked, this, &StationsBoard::refresh);
    connect(filter, &QLineEdit::textChanged, this, &StationsBoard::applyFilter);
    connect(stateFilter, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &StationsBoard::applyFilter);
    connect(table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        emit stationChosen(quint32(table->item(row, Serial)->data(Qt::UserRole).toLongLong()));
    });

    auto *filters = new QHBoxLayout;
    filters->addWidget(filter, 1);
    filters->addWidget(stateFilter);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(table, 1);
    layout->addWidget(status);
    layout->addWidget(buttons);
    refresh();
}

StationsBoard::~StationsBoard()
{
    // A server that does not answer may hold the read until its connect
    // timeout; the thread finishes on its own and nothing waits for it.
    if (worker != nullptr) {
        worker->disconnect(this);
        connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    }
}

void StationsBoard::refresh()
{
    if (worker != nullptr)
        return;
    status->setText(tr("Reading %1…").arg(source));
    auto reading = std::make_shared<Reading>();
    const QString from = source;
    worker = QThread::create([reading, from] {
        const std::lock_guard<std::mutex> hold(reading->lock);
        std::unique_ptr<archive::Database> database;
        reading->result =
            archive::Database::isServerAddress(from)
                ? archive::Database::openServer(from, archive::ServerUse::Read, database)
                : archive::Database::openLocal(from, database);
        if (reading->result.succeeded())
            reading->result =
                archive::readBoard(*database, QDateTime::currentMSecsSinceEpoch(), reading->rows);
    });
    connect(worker, &QThread::finished, this, [this, reading] {
        worker->deleteLater();
        worker = nullptr;
        const std::lock_guard<std::mutex> hold(reading->lock);
        showRows(reading->result, std::move(reading->rows));
    });
    worker->start();
}

void StationsBoard::showRows(const OperationResult &result, std::vector<archive::BoardRow> rows)
{
    if (result.failed()) {
        status->setText(result.message());
        return;
    }
    table->setSortingEnabled(false);
    table->setRowCount(int(rows.size()));
    int late = 0;
    for (int r = 0; r < int(rows.size()); ++r) {
        const archive::BoardRow &row = rows[size_t(r)];
        const archive::StationSummary &station = row.station;
        const bool hasRecords = station.records > 0;
        QTableWidgetItem *state =
            cell(archive::stateName(row.rhythm.state), severity(row.rhythm.state));
        state->setData(StateRole, int(row.rhythm.state));
        state->setBackground(stateColour(row.rhythm.state));
        late += row.rhythm.state == archive::StationState::OnTime ? 0 : 1;
        table->setItem(r, State, state);
        table->setItem(r, Id, item(station.idTexts.value(0)));
        table->setItem(r, Serial, cell(QString::number(station.serial), station.serial));
        table->setItem(r, LastDownload, cell(pcTime(station.lastDownload), station.lastDownload));
        // Since the last download that brought records, as the state has it.
        table->setItem(r, Age,
                       row.rhythm.downloads > 0 ? cell(spanText(row.rhythm.age), row.rhythm.age)
                                                : cell("-", -1));
        table->setItem(r, NewestRecord,
                       cell(hasRecords
                                ? QDateTime::fromSecsSinceEpoch(station.lastRecordTime, Qt::UTC)
                                      .toString("yyyy-MM-dd hh:mm")
                                : QString("-"),
                            station.lastRecordTime));
        table->setItem(r, Records, cell(QString::number(station.records), station.records));
        table->setItem(r, LastVisit, cell(pcTime(row.lastVisitAt), row.lastVisitAt));
        table->setItem(r, VisitedBy, item(row.lastVisitBy));
        table->setItem(r, Software,
                       cell(row.softwareVersion >= 0 ? QString::number(row.softwareVersion) : "-",
                            row.softwareVersion));
        table->setItem(r, ConfigurationChanged, item(archive::changeText(row.configurationChange)));
        const archive::StationHealth &health = station.health;
        table->setItem(r, Findings,
                       health.known ? cell(QString::number(health.findings), health.findings)
                                    : cell("-", -1));
        table->setItem(r, WorstFinding, item(health.worst.isEmpty() ? "-" : health.worst));
        table->setItem(r, Battery,
                       cell(archive::batteryText(health.battery), milli(health.battery)));
        table->setItem(r, BatteryTrend,
                       cell(archive::trendText(health.batteryPerDay), milli(health.batteryPerDay)));
    }
    table->setSortingEnabled(true);
    table->sortByColumn(State, Qt::DescendingOrder);
    table->resizeColumnsToContents();
    status->setText(
        tr("%1 stations, %2 not on time, from %3").arg(rows.size()).arg(late).arg(source));
    applyFilter();
}

void StationsBoard::applyFilter()
{
    const QString text = filter->text().trimmed();
    const int wanted = stateFilter->currentIndex();
    for (int r = 0; r < table->rowCount(); ++r) {
        const int state = table->item(r, State)->data(StateRole).toInt();
        bool shown = text.isEmpty() ||
                     table->item(r, Id)->text().contains(text, Qt::CaseInsensitive) ||
                     table->item(r, Serial)->text().contains(text);
        if (wanted == 1)
            shown = shown && state != int(archive::StationState::OnTime);
        else if (wanted >= 2)
            shown = shown && state == wanted - 2;
        table->setRowHidden(r, !shown);
    }
}
