#include "archive/visitpdf.h"

#include "core/regularfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

namespace
{
QString tr(const char *text)
{
    return QCoreApplication::translate("Talvik", text);
}

OperationResult notWritten(const QString &fileName, const QString &reason)
{
    return OperationResult::failure(OperationResult::Reason::File,
                                    tr("The report %1 could not be written.").arg(fileName),
                                    reason);
}
} // namespace

OperationResult writeVisitReport(const QString &html, const QString &fileName)
{
    // Written beside and renamed over, so a report that fails halfway
    // leaves no half a file in its place.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return notWritten(fileName, file.errorString());
    if (fileName.endsWith(".pdf", Qt::CaseInsensitive)) {
        QPdfWriter pdf(&file);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        pdf.setTitle(tr("Talvik visit report"));
        pdf.setCreator(QStringLiteral("Talvik"));
        QTextDocument document;
        document.setHtml(html);
        document.print(&pdf);
    } else if (file.write(html.toUtf8()) < 0) {
        return notWritten(fileName, file.errorString());
    }
    if (!file.commit())
        return notWritten(fileName, file.errorString());
    return OperationResult::success();
}
