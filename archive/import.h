#ifndef IMPORT_H
#define IMPORT_H

#include "core/operationresult.h"

#include <QString>
#include <QtGlobal>

// A pair of CSV files that Talvik wrote, also before the archive existed,
// kept as a download of the station: each line as the file has it, so that
// the pair comes out again byte for byte.
namespace archive
{

class Database;

struct ImportSummary {
    qint64 downloadId = 0;
    qint64 lines = 0;
    qint64 newRecords = 0; // records the station's history did not have
};

OperationResult importLog(Database &database, const QString &fileName, quint32 serial,
                          ImportSummary &summary);

} // namespace archive

#endif
