#include "config/configuration.h"

namespace config
{

const std::array<PasswordPair, 3> PasswordPairs = {{
    {"LineEditWUPass", "LineEditWUPassVer"},
    {"LineEditEmailPass", "LineEditEmailPassVer"},
    {"LineEditFTPPass", "LineEditFTPPassVer"},
}};

namespace
{

QString keyOfWidget(const char *widget)
{
    return Configuration::keyOf(*parameterOf(QString::fromLatin1(widget)));
}

// What the analog presentation does to the values of a channel whose type
// changes; its visibility is the window's own business.
void applyAnalogType(Configuration &configuration, int channel, int type)
{
    const AnalogRule *rule = analogRule(type);
    if (rule == nullptr)
        return;
    const AnalogChannelWidgets &widgets = AnalogChannels[channel];
    if (rule->unitItemCount > 0) {
        configuration.setUnitChoiceCount(channel, rule->unitItemCount);
        configuration.setValue(keyOfWidget(widgets.units), QStringLiteral("0"));
    }
    const int unitsText = static_cast<int>(AnalogField::UnitsText);
    if (rule->emptiesUnitsText)
        configuration.setValue(keyOfWidget(widgets.fields[unitsText]), QString());
    if (rule->setsCoefficients)
        for (int row = 0; row < unitsText; ++row)
            configuration.setValue(keyOfWidget(widgets.fields[row]),
                                   coefficientText(rule->coefficients[row]));
}

} // namespace

Configuration Configuration::freshForm()
{
    Configuration fresh;
    for (const Parameter &parameter : ParameterMap) {
        QString value;
        if (parameter.kind == Kind::Choice)
            value = parameter.choiceCount > 0 ? QStringLiteral("0") : QStringLiteral("-1");
        fresh.setValue(keyOf(parameter), value);
    }
    for (const PasswordPair &pair : PasswordPairs)
        fresh.setValue(QString::fromLatin1(pair.verify), QString());
    return fresh;
}

QString Configuration::keyOf(const Parameter &parameter)
{
    return QString::fromLatin1(parameter.fileKey != nullptr ? parameter.fileKey : parameter.widget);
}

QString Configuration::value(const QString &key) const
{
    return values.value(key);
}

void Configuration::setValue(const QString &key, const QString &value)
{
    values.insert(key, value);
}

bool Configuration::contains(const QString &key) const
{
    return values.contains(key);
}

int Configuration::unitChoiceCount(int channel) const
{
    return channel >= 0 && channel < AnalogChannelCount ? unitChoices[channel] : 0;
}

void Configuration::setUnitChoiceCount(int channel, int count)
{
    if (channel >= 0 && channel < AnalogChannelCount)
        unitChoices[channel] = count;
}

bool Configuration::operator==(const Configuration &other) const
{
    for (int channel = 0; channel < AnalogChannelCount; ++channel)
        if (unitChoices[channel] != other.unitChoices[channel])
            return false;
    return values == other.values;
}

int choiceCount(const Configuration &configuration, const Parameter &parameter)
{
    if (parameter.choiceCount > 0)
        return parameter.choiceCount;
    return configuration.unitChoiceCount(
        analogChannelOfUnits(QString::fromLatin1(parameter.widget)));
}

void fillItem(Configuration &configuration, const Parameter &parameter, const QString &value)
{
    const QString key = Configuration::keyOf(parameter);
    // A box set to the item it already shows reports no change.
    const int channel = analogChannelOfType(QString::fromLatin1(parameter.widget));
    const bool typeChanges = channel >= 0 && configuration.value(key) != value;
    configuration.setValue(key, value);
    if (typeChanges)
        applyAnalogType(configuration, channel, value.toInt());
}

} // namespace config
