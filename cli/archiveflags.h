#ifndef ARCHIVEFLAGS_H
#define ARCHIVEFLAGS_H

#include "core/operationresult.h"

#include <QString>
#include <QtGlobal>

namespace archive
{
class Database;
}

namespace cli
{

// "NAME-flags.csv" beside the measurement file an archive export has just
// written: the quality flag of every value the health check has rules for,
// judged with the units the station's configurations give its columns.
OperationResult writeExportFlags(archive::Database &database, quint32 serial,
                                 const QString &fileName, QString &flagsFile);

} // namespace cli

#endif
