#ifndef VISITREPORTDIALOG_H
#define VISITREPORTDIALOG_H

#include "archive/visitrecord.h"

#include <QDialog>

#include <vector>

class QComboBox;
class QTextBrowser;

namespace archive
{
class Database;
}

// Tools > "Visit Report…": the current visit, or a past one of the station,
// as a page, with Save as PDF and Print.
class VisitReportDialog : public QDialog
{
    Q_OBJECT
public:
    VisitReportDialog(archive::Database &database, quint32 serial, qint64 current, QWidget *parent);

    // The page shown, for the tests.
    QString html() const;

private:
    void showVisit(int index);
    void saveAsPdf();
    void print();

    QComboBox *const chooser;
    QTextBrowser *const page;
    std::vector<archive::Visit> visits;
    QString shown;
};

#endif
