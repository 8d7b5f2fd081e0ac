#ifndef LOGSTORE_H
#define LOGSTORE_H

#include "log/logrecord.h"

#include <vector>

// The records of the latest download, slot s holding record s of the range
// the module offered, and per slot 1 when the record was kept although its
// checksum failed twice. Both live as long as the program and are reused by
// every download, so a download allocates nothing per record.
extern unsigned char LogStore[LogRecord::StoreCapacity][LogRecord::Size];
extern unsigned char badChecksum[LogRecord::StoreCapacity];

// Where a download puts its records and the export takes them from: slots
// of one record each and their checksum marks. The window and talvik-cli
// pass the program-wide store; tests and benchmarks pass one of their own.
struct RecordStore {
    unsigned char (*records)[LogRecord::Size];
    unsigned char *badChecksum;
    quint32 capacity;

    // The program-wide LogStore and badChecksum.
    static RecordStore programWide();
};

// A store on the heap, for a caller that must not share the program's.
class OwnRecordStore
{
public:
    explicit OwnRecordStore(quint32 capacity = LogRecord::StoreCapacity);
    RecordStore store();

private:
    std::vector<unsigned char> records;
    std::vector<unsigned char> marks;
};

#endif
