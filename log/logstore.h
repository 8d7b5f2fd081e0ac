#ifndef LOGSTORE_H
#define LOGSTORE_H

#include "log/logrecord.h"

// The records of the latest download, slot s holding record s of the range
// the module offered, and per slot 1 when the record was kept although its
// checksum failed twice. Both live as long as the program and are reused by
// every download, so a download allocates nothing per record.
extern unsigned char LogStore[LogRecord::StoreCapacity][LogRecord::Size];
extern unsigned char badChecksum[LogRecord::StoreCapacity];

#endif
