#ifndef SERVERSCHEMA_H
#define SERVERSCHEMA_H

#include "archive/archivedatabase.h"
#include "core/operationresult.h"

#include <QSqlDatabase>
#include <QString>

// The tables of a network's archive on PostgreSQL: the local archive's
// tables, and the triggers that keep the station's history and contact
// times current on the server itself, so that a sync role needs no more
// than to add and to read.
namespace archive
{

// The layout of the server's tables, counted apart from the local file's.
constexpr int ServerSchemaVersion = 3;

// Checks the server's version for the use; Init makes the tables or brings
// them up to this version in one transaction.
OperationResult prepareServerSchema(QSqlDatabase &db, const QString &location, ServerUse use);

} // namespace archive

#endif
