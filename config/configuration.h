#ifndef CONFIGURATION_H
#define CONFIGURATION_H

#include "config/analogrule.h"
#include "config/parametermap.h"
#include "core/operationresult.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <array>

// The module's configuration as the form holds it, without the form: one text
// per item, keyed as in configuration files. The window binds its form to
// it; talvik-cli works on it alone.
namespace config
{

// The password pairs of the form, compared before a write in this order. The
// verify fields take part in no transfer; a read empties them.
struct PasswordPair {
    const char *password; // object name of the password field
    const char *verify;   // object name of its verify field
};
extern const std::array<PasswordPair, 3> PasswordPairs;

class Configuration
{
public:
    // Every item as a freshly started window's form holds it: empty fields,
    // the first item of each choice, and no current item in the analog units
    // boxes, which have no items yet.
    static Configuration freshForm();

    // The file key of an item, or its object name when files do not keep it.
    static QString keyOf(const Parameter &parameter);

    // Texts as the form shows them; a Choice is its current index in decimal,
    // -1 for no current item. The verify fields are keyed by object name.
    QString value(const QString &key) const;
    void setValue(const QString &key, const QString &value);
    bool contains(const QString &key) const;

    // How many display units an analog channel's units box offers. A units
    // value from the module or a file selects one of them, or none.
    int unitChoiceCount(int channel) const;
    void setUnitChoiceCount(int channel, int count);

    bool operator==(const Configuration &other) const;
    bool operator!=(const Configuration &other) const { return !(*this == other); }

private:
    QMap<QString, QString> values;
    int unitChoices[AnalogChannelCount] = {0, 0};
};

// How many items the Choice's box holds in this configuration.
int choiceCount(const Configuration &configuration, const Parameter &parameter);

// Puts one item in as the form takes it when a read or a load fills it: a
// type box that changes gives its channel the type's units and coefficients,
// which the channel's items after it then overwrite.
void fillItem(Configuration &configuration, const Parameter &parameter, const QString &value);

// The window's Load minus the dialog. Refuses what the window refuses, with
// its message naming the file ("File not found." for a missing path). On
// success the configuration becomes freshForm() with the file's keys applied
// as Load fills the form (missing keys take their defaults); what has no file
// key keeps what the configuration held.
OperationResult loadConfigurationFile(const QString &path, Configuration &configuration);
// The same, applied onto the configuration as it stands, as the window's
// Load fills its form as it stands.
OperationResult applyConfigurationFile(const QString &path, Configuration &configuration);

// A configuration file as talvik-cli writes it to a module.
struct FileForWrite {
    // freshForm() with the file applied as the window's Load applies it.
    Configuration configuration;
    QStringList keys;        // the items' keys the file holds, in map order
    QStringList missingKeys; // the items' keys it lacks, in map order
    QStringList unknownKeys; // keys of no item, which nothing uses
};

// Refuses what the window's Load refuses, with its message. Then refuses
// with Reason::Refused, where the window's Load would fill in defaults, cut
// or drop: a file that lacks any of the items' keys, unless partial; an
// analog channel's units or coefficients without the channel's type; and
// every value the form could not hold, each named with what it takes. Once
// the file is read, its keys are filled in, also when it is refused.
OperationResult loadConfigurationForWrite(const QString &path, bool partial, FileForWrite &file);

// Byte for byte the file the window's Save writes. An old file is replaced
// only by a complete new one.
OperationResult saveConfigurationFile(const QString &path, const Configuration &configuration);

} // namespace config

#endif
