#include "tests/maintenance/modulewire.h"

#include <algorithm>
#include <cstring>

QList<QByteArray> writtenPayloads()
{
    QList<QByteArray> payloads;
    for (const sim::WrittenReport &written : sim::writtenReports())
        payloads.append(QByteArray(reinterpret_cast<const char *>(written.bytes.data()) + 1,
                                   int(written.bytes.size()) - 1));
    return payloads;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(static_cast<char>(value));
    return result;
}

sim::Report report(const QByteArray &start)
{
    sim::Report result{};
    std::memcpy(result.data(), start.constData(), std::min<size_t>(start.size(), result.size()));
    return result;
}
