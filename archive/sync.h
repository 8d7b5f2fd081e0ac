#ifndef SYNC_H
#define SYNC_H

#include "core/operationresult.h"

#include <QtGlobal>

class OperationProgress;

// Sends what a network's server lacks from the local archive. Each download
// goes in one server transaction with its records and its membership, so a
// sync stopped at any point leaves the server whole, and the next one sends
// the rest. Rows are added by their natural keys (a download's and a
// configuration's uid, a record's station and bytes, or an imported
// record's station, line and column groups), never twice, also when many
// PCs sync at once.
namespace archive
{

class Database;

struct SyncOptions {
    // Host and user names leave this PC only when the user says so.
    bool withNames = false;
};

struct SyncSummary {
    qint64 downloads = 0;      // sent in this run
    qint64 records = 0;        // slots of those downloads
    qint64 configurations = 0; // sent in this run
    qint64 visits = 0;         // visits and collections new to the server
    qint64 alreadyThere = 0;   // downloads another PC sent meanwhile
};

// progress counts the downloads to send; cancelled() between two batches of
// records drops the download under way, which the next sync sends whole.
OperationResult syncArchive(Database &local, Database &server, const SyncOptions &options,
                            OperationProgress &progress, SyncSummary &summary);

} // namespace archive

#endif
