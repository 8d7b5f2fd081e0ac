#ifndef VISITPDF_H
#define VISITPDF_H

#include "core/operationresult.h"

#include <QString>

// Writes a visit's report: a PDF laid out on A4 when the name ends in
// ".pdf", else the HTML page itself. A PDF needs a QGuiApplication (the
// offscreen platform will do) and a font.
OperationResult writeVisitReport(const QString &html, const QString &fileName);

#endif
