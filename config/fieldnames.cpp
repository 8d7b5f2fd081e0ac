#include "config/fieldnames.h"

#include "config/analogrule.h"

#include <QCoreApplication>

namespace config
{

namespace
{

struct FieldName {
    const char *widget;
    const char *box;   // the title of the box around the field, or nullptr
    const char *label; // the form's own label text
    const char *page;
};

// The form's own texts, translated as the form translates them.
const FieldName Names[] = {
    {"LineEditID", nullptr, "Station ID:", "General"},
    {"ComboBoxFan", nullptr, "Fan Mode:", "General"},
    {"ComboBoxDL", nullptr, "NorvaleLive:", "General"},
    {"ComboBoxLogRate", nullptr, "Logging Rate:", "General"},
    {"ComboBoxLogEmailRate", nullptr, "Email Log:", "General"},
    {"ComboBoxLogFTPRate", nullptr, "FTP Log:", "General"},
    {"ComboBoxTempUnits", "Temperature", "Display Units:", "TPH"},
    {"ComboBoxPressUnits", "Pressure", "Display Units:", "TPH"},
    {"ComboBoxWindUnits", "Wind Speed", "Display Units:", "Wind"},
    {"ComboBoxAN1Type", "Analog 1", "Type:", "Analog"},
    {"ComboBoxAN1Units", "Analog 1", "Display Units:", "Analog"},
    {"ComboBoxAN2Type", "Analog 2", "Type:", "Analog"},
    {"ComboBoxAN2Units", "Analog 2", "Display Units:", "Analog"},
    {"ComboBoxRainType", nullptr, "Type:", "Rain"},
    {"ComboBoxWURate", nullptr, "Update Rate:", "WU"},
    {"ComboBoxLightning", nullptr, "Installed:", "Lightning"},
    {"LineEditTempSlope", "Temperature", "Slope:", "TPH"},
    {"LineEditTempOffset", "Temperature", "Offset:", "TPH"},
    {"LineEditHumidSlope", "Humidity", "Slope:", "TPH"},
    {"LineEditHumidOffset", "Humidity", "Offset:", "TPH"},
    {"LineEditPressAlt", "Pressure", "Altitude (m):", "TPH"},
    {"LineEditPressSlope", "Pressure", "Slope:", "TPH"},
    {"LineEditPressOffset", "Pressure", "Offset:", "TPH"},
    {"LineEditWindSlope", "Wind Speed", "Slope:", "Wind"},
    {"LineEditWindOffset", "Wind Speed", "Offset:", "Wind"},
    {"LineEditAN1A", "Analog 1", "A:", "Analog"},
    {"LineEditAN1B", "Analog 1", "B:", "Analog"},
    {"LineEditAN1C", "Analog 1", "C:", "Analog"},
    {"LineEditAN1D", "Analog 1", "D:", "Analog"},
    {"LineEditAN1Ref", "Analog 1", "Ref:", "Analog"},
    {"LineEditAN1Units", "Analog 1", "Display Units:", "Analog"},
    {"LineEditAN2A", "Analog 2", "A:", "Analog"},
    {"LineEditAN2B", "Analog 2", "B:", "Analog"},
    {"LineEditAN2C", "Analog 2", "C:", "Analog"},
    {"LineEditAN2D", "Analog 2", "D:", "Analog"},
    {"LineEditAN2Ref", "Analog 2", "Ref:", "Analog"},
    {"LineEditAN2Units", "Analog 2", "Display Units:", "Analog"},
    {"LineEditRainInc", nullptr, "Increment:", "Rain"},
    {"LineEditWUUser", nullptr, "User Name:", "WU"},
    {"LineEditWUPass", nullptr, "Password:", "WU"},
    {"LineEditEmailTo", nullptr, "Email To:", "Email"},
    {"LineEditEmailFrom", nullptr, "Email From:", "Email"},
    {"LineEditEmailServer", nullptr, "Server:", "Email"},
    {"LineEditEmailServerPort", nullptr, "Server Port:", "Email"},
    {"LineEditEmailUser", nullptr, "User Name:", "Email"},
    {"LineEditEmailPass", nullptr, "Password:", "Email"},
    {"LineEditFTPServer", nullptr, "Server:", "FTP"},
    {"LineEditFTPUser", nullptr, "User Name:", "FTP"},
    {"LineEditFTPPass", nullptr, "Password:", "FTP"},
    {"LineEditSC", nullptr, "Service Technician Cell Phone:", "Cell / WiFi"},
    {"LineEditAPN", nullptr, "Cell APN (GSM Only):", "Cell / WiFi"},
    {"LineEditWiFiAP", nullptr, "WiFi Access Point:", "Cell / WiFi"},
    {"LineEditWiFiPass", nullptr, "WiFi Password:", "Cell / WiFi"},
};

QString formText(const char *text)
{
    return QCoreApplication::translate("TalvikClass", text);
}

const FieldName *nameOf(const QString &widget)
{
    for (const FieldName &name : Names)
        if (widget == QLatin1String(name.widget))
            return &name;
    return nullptr;
}

} // namespace

QString fieldName(const QString &widget, int analogType)
{
    const FieldName *name = nameOf(widget);
    if (name == nullptr)
        return widget;
    QString label = formText(name->label);
    // The analog presentation renames the first two rows, untranslated.
    int channel;
    AnalogField field;
    const AnalogRule *rule = analogRule(analogType);
    if (rule != nullptr && analogFieldOf(widget, channel, field)) {
        if (field == AnalogField::A && rule->labelA != nullptr)
            label = QString::fromLatin1(rule->labelA);
        else if (field == AnalogField::B && rule->labelB != nullptr)
            label = QString::fromLatin1(rule->labelB);
    }
    if (label.endsWith(QLatin1Char(':')))
        label.chop(1);
    if (name->box == nullptr)
        return label;
    return formText(name->box) + QLatin1Char(' ') + label;
}

QString pageTitle(const QString &widget)
{
    const FieldName *name = nameOf(widget);
    return name != nullptr ? formText(name->page) : QString();
}

} // namespace config
