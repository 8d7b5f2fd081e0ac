// Fuzz target: loading a .ncm configuration file into the form's values the
// way both front ends load one, through a file. Input: the whole file.
//
// Whatever the file holds, the load either refuses it with a message or
// fills the configuration; a filled configuration saved and loaded again
// gives the same values, so a technician's Save never changes what was
// loaded. The ncmfile target runs the text parser far faster; this one adds
// what lies between the parser and the form: defaults, choices and the
// analog channels' presentation.

#include "fuzzcheck.h"

#include "config/configuration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <unistd.h>

namespace
{

QString folder;

void writeFile(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    folder = QStringLiteral("/dev/shm/talvik-fuzz-ncm-%1").arg(qint64(::getpid()));
    QDir().mkpath(folder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = folder + QStringLiteral("/input.ncm");
    const QString saved = folder + QStringLiteral("/saved.ncm");
    writeFile(input, data, size);

    config::Configuration loaded = config::Configuration::freshForm();
    const OperationResult load = config::loadConfigurationFile(input, loaded);
    if (load.failed()) {
        FUZZ_CHECK(!load.message().isEmpty());
        FUZZ_CHECK(loaded == config::Configuration::freshForm());
        return 0;
    }

    FUZZ_CHECK(config::saveConfigurationFile(saved, loaded).succeeded());
    config::Configuration reloaded = config::Configuration::freshForm();
    const OperationResult reload = config::loadConfigurationFile(saved, reloaded);
    const bool status = reload.succeeded();
    if (!status || reloaded != loaded) {
        std::fprintf(stderr, "reload: %s\n", qPrintable(reload.message()));
        for (const config::Parameter &parameter : config::ParameterMap) {
            const QString key = config::Configuration::keyOf(parameter);
            if (loaded.value(key) != reloaded.value(key))
                std::fprintf(stderr, "%s: loaded \"%s\", reloaded \"%s\"\n", qPrintable(key),
                             qPrintable(loaded.value(key)), qPrintable(reloaded.value(key)));
        }
    }
    FUZZ_CHECK(status);
    FUZZ_CHECK(reloaded == loaded);
    return 0;
}
