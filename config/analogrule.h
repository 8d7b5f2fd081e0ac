#ifndef ANALOGRULE_H
#define ANALOGRULE_H

#include <QString>

// What each sensor type makes of an analog channel's rows: which are shown,
// what the first two rows are called, which display units can be chosen and
// which coefficients a channel gets when its type changes. The window's
// presentation follows it, and so do the write checks and the configuration
// core, so what counts as shown never depends on widgets.
namespace config
{

constexpr int AnalogChannelCount = 2;

enum AnalogType {
    AnalogNone = 0,
    SoilTemperature = 1,
    SoilMoisture = 2,
    SolarRadiation = 3,
    CustomAnalog = 4,
    GlobeTemperature = 5,
};

struct AnalogRule {
    bool unitsBoxShown;
    bool unitsTextShown;
    bool slopeRowsShown; // the rows A and B
    bool extraRowsShown; // the rows C, D and Ref
    // The labels of the rows A and B; nullptr leaves them as they are.
    const char *labelA;
    const char *labelB;
    // The display units the box is filled with (UTF-8); none leaves its
    // items and selection as they are. A filled box selects its first item.
    int unitItemCount;
    const char *unitItems[2];
    bool emptiesUnitsText;
    // The coefficients the rows A, B, C, D and Ref get.
    bool setsCoefficients;
    double coefficients[5];

    bool unitsRowShown() const { return unitsBoxShown || unitsTextShown; }
};

// The rule of a type, or nullptr for a type without one (Globe Temp, an empty
// selection): the channel then stays as the type before left it.
const AnalogRule *analogRule(int type);

// The fields below an analog type box that the write checks look at.
enum class AnalogField { A, B, C, D, Ref, UnitsText };

// Whether a field counts as shown for a type. A type without a rule shows
// nothing, as a freshly started window shows such a channel after a load or
// a read.
bool analogFieldShown(int type, AnalogField field);

// The widgets of one channel by object name.
struct AnalogChannelWidgets {
    const char *type;
    const char *units;
    const char *fields[6]; // in the order of AnalogField
};
extern const AnalogChannelWidgets AnalogChannels[AnalogChannelCount];

// The channel whose type box has this object name, or -1.
int analogChannelOfType(const QString &widget);
// The channel whose units box has this object name, or -1.
int analogChannelOfUnits(const QString &widget);
// The channel and field of a field below a type box; false for any other.
bool analogFieldOf(const QString &widget, int &channel, AnalogField &field);

// A coefficient as the window shows it: at most 7 significant digits.
QString coefficientText(double value);

} // namespace config

#endif
