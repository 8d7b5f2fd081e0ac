#ifndef STATIONSBOARD_H
#define STATIONSBOARD_H

#include "archive/stationboard.h"
#include "core/operationresult.h"

#include <QDialog>

#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;
class QThread;

// Tools > "Stations…": every station of the archive (the network's server
// when one is set, else the local one) with its state, read in a worker
// thread so that the window never waits on the network. Sort by any
// column, filter by text or state; a double-click shows the station's last
// visit report.
class StationsBoard : public QDialog
{
    Q_OBJECT
public:
    // source: a local archive file or a postgresql:// address.
    StationsBoard(const QString &source, QWidget *parent);
    ~StationsBoard() override;

    // Reads the board again.
    void refresh();
    // Whether a read is under way, for the tests.
    bool reading() const { return worker != nullptr; }

signals:
    // A double-click on a station of the local archive.
    void stationChosen(quint32 serial);

private:
    void showRows(const OperationResult &result, std::vector<archive::BoardRow> rows);
    void applyFilter();

    const QString source;
    QLabel *const status;
    QLineEdit *const filter;
    QComboBox *const stateFilter;
    QTableWidget *const table;
    QThread *worker = nullptr;
};

#endif
