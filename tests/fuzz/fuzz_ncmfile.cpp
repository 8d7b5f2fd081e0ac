// Fuzz target: the text of a .ncm configuration file, as the parser that both
// front ends load it through takes it. Input: the whole file.
//
// Whatever the text holds, the parser refuses it naming a line the text has,
// or gives its keys and values; the text the program writes for those values
// is accepted again with the same values, and written again byte for byte,
// so a technician's Save never changes what was loaded.

#include "fuzzcheck.h"

#include "config/ncmfile.h"

#include <cstdint>
#include <cstdio>

namespace
{

QVector<std::pair<QString, QString>> entriesOf(const config::NcmContents &contents)
{
    QVector<std::pair<QString, QString>> entries;
    for (auto it = contents.values.cbegin(); it != contents.values.cend(); ++it)
        entries.append({it.key(), it.value()});
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const config::NcmContents contents = config::parseNcm(bytes);
    if (contents.problem != config::NcmProblem::None) {
        FUZZ_CHECK(contents.problem == config::NcmProblem::NotNcm);
        FUZZ_CHECK(contents.line >= 1 && contents.line <= bytes.count('\n') + 1);
        FUZZ_CHECK(contents.values.isEmpty());
        return 0;
    }

    const QByteArray written = config::ncmText(entriesOf(contents));
    const config::NcmContents again = config::parseNcm(written);
    if (again.problem != config::NcmProblem::None || again.values != contents.values) {
        std::fprintf(stderr, "written:\n%s\nrefused at line %d\n", written.constData(), again.line);
        for (auto it = contents.values.cbegin(); it != contents.values.cend(); ++it)
            if (again.values.value(it.key()) != it.value())
                std::fprintf(stderr, "%s: loaded \"%s\", reloaded \"%s\"\n", qPrintable(it.key()),
                             qPrintable(it.value()), qPrintable(again.values.value(it.key())));
    }
    FUZZ_CHECK(again.problem == config::NcmProblem::None);
    FUZZ_CHECK(again.values == contents.values);
    FUZZ_CHECK(config::ncmText(entriesOf(again)) == written);
    return 0;
}
