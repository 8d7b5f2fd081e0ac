#include "config/analogrule.h"

namespace config
{

namespace
{

// Soil temperature probes are thermistors (Steinhart-Hart form); the other
// types are a straight line whose unused rows hold 0.
const AnalogRule Rules[] = {
    // None: only visibility changes, every text and the units box stay.
    {false, false, false, false, nullptr, nullptr, 0, {nullptr, nullptr}, false, false, {}},
    {true,
     false,
     true,
     true,
     "A:",
     "B:",
     2,
     {"\u00B0C", "\u00B0F"},
     false,
     true,
     {0.0011164014655, 0.000237982973213, -3.72283234e-07, 9.9063233e-08, 10000}},
    {true,
     false,
     true,
     false,
     "Slope:",
     "Offset:",
     1,
     {"%", nullptr},
     false,
     true,
     {1.19, -0.4, 0, 0, 0}},
    {true,
     false,
     true,
     false,
     "Slope:",
     "Offset:",
     1,
     {"W/m^2", nullptr},
     false,
     true,
     {5000, 0, 0, 0, 0}},
    // Custom: the units box keeps its items and selection behind the free text.
    {false,
     true,
     true,
     false,
     "Slope:",
     "Offset:",
     0,
     {nullptr, nullptr},
     true,
     true,
     {1, 0, 0, 0, 0}},
};

} // namespace

const AnalogChannelWidgets AnalogChannels[AnalogChannelCount] = {
    {"ComboBoxAN1Type",
     "ComboBoxAN1Units",
     {"LineEditAN1A", "LineEditAN1B", "LineEditAN1C", "LineEditAN1D", "LineEditAN1Ref",
      "LineEditAN1Units"}},
    {"ComboBoxAN2Type",
     "ComboBoxAN2Units",
     {"LineEditAN2A", "LineEditAN2B", "LineEditAN2C", "LineEditAN2D", "LineEditAN2Ref",
      "LineEditAN2Units"}},
};

const AnalogRule *analogRule(int type)
{
    if (type < AnalogNone || type > CustomAnalog)
        return nullptr;
    return &Rules[type];
}

bool analogFieldShown(int type, AnalogField field)
{
    const AnalogRule *rule = analogRule(type);
    if (rule == nullptr)
        return false;
    switch (field) {
    case AnalogField::A:
    case AnalogField::B:
        return rule->slopeRowsShown;
    case AnalogField::C:
    case AnalogField::D:
    case AnalogField::Ref:
        return rule->extraRowsShown;
    case AnalogField::UnitsText:
        return rule->unitsTextShown;
    }
    return false;
}

int analogChannelOfType(const QString &widget)
{
    for (int channel = 0; channel < AnalogChannelCount; ++channel)
        if (widget == QLatin1String(AnalogChannels[channel].type))
            return channel;
    return -1;
}

int analogChannelOfUnits(const QString &widget)
{
    for (int channel = 0; channel < AnalogChannelCount; ++channel)
        if (widget == QLatin1String(AnalogChannels[channel].units))
            return channel;
    return -1;
}

bool analogFieldOf(const QString &widget, int &channel, AnalogField &field)
{
    for (int c = 0; c < AnalogChannelCount; ++c) {
        for (int f = 0; f < 6; ++f) {
            if (widget == QLatin1String(AnalogChannels[c].fields[f])) {
                channel = c;
                field = static_cast<AnalogField>(f);
                return true;
            }
        }
    }
    return false;
}

QString coefficientText(double value)
{
    return QString::number(value, 'g', 7);
}

} // namespace config
