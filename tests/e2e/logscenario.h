#ifndef LOGSCENARIO_H
#define LOGSCENARIO_H

#include "sim/logrecords.h"

#include <QStringList>

#include <vector>

class Talvik;

// The log download that the end-to-end test and its simulated-bus reference
// both run, so that their CSV files can be compared byte for byte.
namespace e2e
{

// A few hundred records, measurements and events mixed, the same every run.
std::vector<sim::Record> sampleLog();

// Downloads the whole log of the connected window's module into csvPath,
// pressing OK on every message; returns the texts of the messages shown.
QStringList downloadFullLog(Talvik &window, const QString &csvPath);

} // namespace e2e

#endif
