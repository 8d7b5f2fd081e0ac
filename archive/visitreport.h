#ifndef VISITREPORT_H
#define VISITREPORT_H

#include "archive/visitrecord.h"

#include <QJsonObject>
#include <QString>

// A visit in words: the report a technician leaves behind, and the lines
// and JSON talvik-cli prints. The window and talvik-cli word it the same.
namespace archive
{

// "Configuration written", "Log downloaded", ...
QString actionTitle(const QString &name);
// What the action did, in one line: "3 fields changed", "412 records, 12
// new to the archive, 0 retries", the note's text.
QString actionSummary(const VisitAction &action);
// Each change of a configuration written, "field: before → after".
QStringList configurationChanges(const VisitAction &action);

// The whole report as an HTML page, for the window, a PDF or a file.
QString visitReportHtml(const Visit &visit);

QJsonObject visitJson(const Visit &visit);
// One line per visit: id, start, kind, technician and PC, action count.
QString visitLine(const Visit &visit);

} // namespace archive

#endif
