#include "config/parametermap.h"

#include <cfloat>
#include <cmath>

namespace config
{

namespace
{
constexpr Kind F = Kind::Float;
constexpr Kind C = Kind::Choice;
constexpr Kind P = Kind::Port;
constexpr Kind T = Kind::Text;
constexpr Kind W = Kind::Password;
} // namespace

// Each analog type comes before its channel's units, coefficients and units
// text: setting the type box puts in the type's standard units and
// coefficients, which the items after it then overwrite.
const std::array<Parameter, ParameterCount> ParameterMap = {{
    {"LineEditID", 556, T, "ID", "", 0, 20},
    {"LineEditAPN", 844, T, "CellAPN", "", 0, 20},
    {"LineEditSC", 885, T, "ServiceCell", "", 0, 16},
    {"ComboBoxDL", 252, C, "NorvaleLive", "0", 9, 0},
    {"ComboBoxLogRate", 220, C, "LogRate", "0", 9, 0},
    {"ComboBoxLogEmailRate", 228, C, "LogEmail", "0", 5, 0},
    {"ComboBoxLogFTPRate", 230, C, "LogFTP", "0", 5, 0},
    {"ComboBoxFan", 214, C, "FanMode", "0", 3, 0},
    {"ComboBoxTempUnits", 208, C, "TempUnits", "0", 2, 0},
    {"LineEditTempSlope", 0, F, "TempSlope", "1", 0, 15},
    {"LineEditTempOffset", 4, F, "TempOffset", "0", 0, 15},
    {"LineEditHumidSlope", 8, F, "HumidSlope", "1", 0, 15},
    {"LineEditHumidOffset", 12, F, "HumidOffset", "0", 0, 15},
    {"ComboBoxPressUnits", 210, C, "PressUnits", "0", 5, 0},
    {"LineEditPressAlt", 16, F, "PressAlt", "0", 0, 15},
    {"LineEditPressSlope", 20, F, "PressSlope", "1", 0, 15},
    {"LineEditPressOffset", 24, F, "PressOffset", "0", 0, 15},
    {"ComboBoxWindUnits", 212, C, "WindUnits", "0", 4, 0},
    {"LineEditWindSlope", 28, F, "WindSlope", "1", 0, 15},
    {"LineEditWindOffset", 32, F, "WindOffset", "0", 0, 15},
    {"ComboBoxAN1Type", 200, C, "AN1Type", "0", 6, 0},
    {"ComboBoxAN1Units", 216, C, "AN1Units", "0", 0, 0},
    {"LineEditAN1A", 40, F, "AN1A", "", 0, 15},
    {"LineEditAN1B", 44, F, "AN1B", "", 0, 15},
    {"LineEditAN1C", 48, F, "AN1C", "", 0, 15},
    {"LineEditAN1D", 52, F, "AN1D", "", 0, 15},
    {"LineEditAN1Ref", 56, F, "AN1R", "", 0, 15},
    {"LineEditAN1Units", 500, T, "AN1Units2", "", 0, 15},
    {"ComboBoxAN2Type", 202, C, "AN2Type", "0", 6, 0},
    {"ComboBoxAN2Units", 218, C, "AN2Units", "0", 0, 0},
    {"LineEditAN2A", 60, F, "AN2A", "", 0, 15},
    {"LineEditAN2B", 64, F, "AN2B", "", 0, 15},
    {"LineEditAN2C", 68, F, "AN2C", "", 0, 15},
    {"LineEditAN2D", 72, F, "AN2D", "", 0, 15},
    {"LineEditAN2Ref", 76, F, "AN2R", "", 0, 15},
    {"LineEditAN2Units", 507, T, "AN2Units2", "", 0, 15},
    {"ComboBoxRainType", 204, C, "RainType", "0", 3, 0},
    {"LineEditRainInc", 80, F, "RainInc", "", 0, 15},
    {"ComboBoxWURate", 206, C, "WURate", "0", 6, 0},
    {"LineEditWUUser", 514, T, "WUUser", "", 0, 20},
    {"LineEditWUPass", 535, W, nullptr, nullptr, 0, 20},
    {"LineEditEmailTo", 803, T, "EmailTo", "", 0, 40},
    {"LineEditEmailFrom", 638, T, "EmailFrom", "", 0, 40},
    {"LineEditEmailServer", 679, T, "EmailServer", "", 0, 40},
    {"LineEditEmailServerPort", 232, P, nullptr, nullptr, 0, 40},
    {"LineEditEmailUser", 576, T, "EmailUser", "", 0, 40},
    {"LineEditEmailPass", 617, W, nullptr, nullptr, 0, 40},
    {"LineEditFTPServer", 762, T, "FTPServer", "", 0, 40},
    {"LineEditFTPUser", 720, T, "FTPUser", "", 0, 40},
    {"LineEditFTPPass", 741, W, nullptr, nullptr, 0, 40},
    {"ComboBoxLightning", 246, C, "LightningInstalled", "0", 2, 0},
    {"LineEditWiFiAP", 901, T, "WiFiAP", "", 0, 32},
    // The WiFi password is the one password kept in files, as plain text.
    {"LineEditWiFiPass", 934, W, "WiFiPass", "", 0, 50},
}};

const Parameter *parameterOf(const QString &widget)
{
    for (const Parameter &parameter : ParameterMap)
        if (widget == QLatin1String(parameter.widget))
            return &parameter;
    return nullptr;
}

int readableParameterCount()
{
    int count = 0;
    for (const Parameter &parameter : ParameterMap)
        count += parameter.kind == Kind::Password ? 0 : 1;
    return count;
}

int fileParameterCount()
{
    int count = 0;
    for (const Parameter &parameter : ParameterMap)
        count += parameter.fileKey != nullptr ? 1 : 0;
    return count;
}

QVariant fileDefault(const Parameter &parameter)
{
    if (parameter.kind == Kind::Choice)
        return QString::fromLatin1(parameter.defaultValue).toInt();
    return QString::fromLatin1(parameter.defaultValue);
}

QString floatToText(float value)
{
    return QString::number(static_cast<double>(value), 'g', 7);
}

float floatFromText(const QString &text)
{
    return static_cast<float>(text.toDouble());
}

int choiceIndex(int value, int itemCount)
{
    return value >= 0 && value < itemCount ? value : -1;
}

int choiceToWire(int currentIndex)
{
    return currentIndex & 0xFFFF;
}

int choiceFromFile(const QVariant &value)
{
    return value.toInt();
}

QString portToText(int value)
{
    return QString::number(value);
}

int portToWire(const QString &text)
{
    return text.toInt() & 0xFFFF;
}

bool floatTextIsSendable(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) && std::fabs(value) <= FLT_MAX;
}

bool portTextIsSendable(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok && value >= -32768 && value <= 65535;
}

bool textIsSendable(const QString &text)
{
    for (const QChar ch : text)
        if (ch.unicode() > 0xFF)
            return false;
    return true;
}

ValueFault fileValueFault(const Parameter &parameter, const QString &text, int itemCount)
{
    switch (parameter.kind) {
    case Kind::Choice: {
        bool whole = false;
        const int value = text.toInt(&whole, 10);
        if (!whole)
            return ValueFault::NotWholeNumber;
        if (itemCount > 0 && choiceIndex(value, itemCount) < 0)
            return ValueFault::NotAnItem;
        return ValueFault::None;
    }
    case Kind::Float: {
        if (text.size() > parameter.maxLength)
            return ValueFault::TooLong;
        // What goes out, as the write converts it: an overflowing text such
        // as 1e400 is no number to the parser, yet gives infinity.
        const double value = text.toDouble();
        if (!std::isfinite(value) || std::fabs(value) > FLT_MAX)
            return ValueFault::NotFinite;
        return ValueFault::None;
    }
    case Kind::Port:
    case Kind::Text:
    case Kind::Password:
        if (!textIsSendable(text))
            return ValueFault::OutsideLatin1;
        if (text.size() > parameter.maxLength)
            return ValueFault::TooLong;
        return ValueFault::None;
    }
    return ValueFault::None;
}

} // namespace config
