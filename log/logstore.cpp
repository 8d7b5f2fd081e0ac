#include "log/logstore.h"

unsigned char LogStore[LogRecord::StoreCapacity][LogRecord::Size];
unsigned char badChecksum[LogRecord::StoreCapacity];

RecordStore RecordStore::programWide()
{
    return RecordStore{LogStore, ::badChecksum, LogRecord::StoreCapacity};
}

OwnRecordStore::OwnRecordStore(quint32 capacity)
    : records(size_t(capacity) * LogRecord::Size), marks(capacity)
{
}

RecordStore OwnRecordStore::store()
{
    return RecordStore{reinterpret_cast<unsigned char(*)[LogRecord::Size]>(records.data()),
                       marks.data(), quint32(marks.size())};
}
