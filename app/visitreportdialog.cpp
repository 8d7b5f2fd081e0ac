#include "app/visitreportdialog.h"

#include "archive/visitpdf.h"
#include "archive/visitreport.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

VisitReportDialog::VisitReportDialog(archive::Database &database, quint32 serial, qint64 current,
                                     QWidget *parent)
    : QDialog(parent), chooser(new QComboBox(this)), page(new QTextBrowser(this))
{
    setWindowTitle(tr("Visit Report"));
    setObjectName("VisitReportDialog");
    chooser->setObjectName("ComboBoxVisit");
    page->setObjectName("TextVisitReport");
    resize(760, 720);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *pdf = buttons->addButton(tr("Save as PDF…"), QDialogButtonBox::ActionRole);
    QPushButton *printButton = buttons->addButton(tr("Print…"), QDialogButtonBox::ActionRole);
    pdf->setObjectName("ButtonSaveReport");
    printButton->setObjectName("ButtonPrintReport");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(pdf, &QPushButton::clicked, this, &VisitReportDialog::saveAsPdf);
    connect(printButton, &QPushButton::clicked, this, &VisitReportDialog::print);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Visit:"), this));
    layout->addWidget(chooser);
    layout->addWidget(page, 1);
    layout->addWidget(buttons);

    const OperationResult listed = archive::listVisits(database, serial, visits);
    if (listed.failed()) {
        page->setPlainText(listed.message());
        pdf->setEnabled(false);
        printButton->setEnabled(false);
        return;
    }
    int chosen = int(visits.size()) - 1;
    // Newest first; the visit under way is the one shown.
    for (int i = int(visits.size()) - 1; i >= 0; --i) {
        chooser->addItem(archive::visitLine(visits[size_t(i)]), i);
        if (visits[size_t(i)].id == current)
            chosen = i;
    }
    connect(chooser, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int item) { showVisit(chooser->itemData(item).toInt()); });
    chooser->setCurrentIndex(chooser->findData(chosen));
    showVisit(chosen);
}

QString VisitReportDialog::html() const
{
    return shown;
}

void VisitReportDialog::showVisit(int index)
{
    if (index < 0 || index >= int(visits.size()))
        return;
    shown = archive::visitReportHtml(visits[size_t(index)]);
    page->setHtml(shown);
}

void VisitReportDialog::saveAsPdf()
{
    QString path = QFileDialog::getSaveFileName(this, tr("Save Visit Report"), QString(),
                                                tr("PDF (*.pdf);;HTML (*.html)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(".pdf", Qt::CaseInsensitive) && !path.endsWith(".html", Qt::CaseInsensitive))
        path += ".pdf";
    const OperationResult written = writeVisitReport(shown, path);
    if (written.failed())
        QMessageBox::critical(this, tr("Talvik"), written.message() + '\n' + written.detail());
}

void VisitReportDialog::print()
{
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QTextDocument document;
    document.setHtml(shown);
    document.print(&printer);
}
