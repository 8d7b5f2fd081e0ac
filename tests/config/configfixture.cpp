#include "tests/config/configfixture.h"

#include <cstring>

const QVector<ExpectedItem> &expectedItems()
{
    static const QVector<ExpectedItem> items = {
        {"LineEditID", 0x022C, 'T', "ID"},
        {"LineEditAPN", 0x034C, 'T', "CellAPN"},
        {"LineEditSC", 0x0375, 'T', "ServiceCell"},
        {"ComboBoxDL", 0x00FC, 'C', "NorvaleLive"},
        {"ComboBoxLogRate", 0x00DC, 'C', "LogRate"},
        {"ComboBoxLogEmailRate", 0x00E4, 'C', "LogEmail"},
        {"ComboBoxLogFTPRate", 0x00E6, 'C', "LogFTP"},
        {"ComboBoxFan", 0x00D6, 'C', "FanMode"},
        {"ComboBoxTempUnits", 0x00D0, 'C', "TempUnits"},
        {"LineEditTempSlope", 0x0000, 'F', "TempSlope"},
        {"LineEditTempOffset", 0x0004, 'F', "TempOffset"},
        {"LineEditHumidSlope", 0x0008, 'F', "HumidSlope"},
        {"LineEditHumidOffset", 0x000C, 'F', "HumidOffset"},
        {"ComboBoxPressUnits", 0x00D2, 'C', "PressUnits"},
        {"LineEditPressAlt", 0x0010, 'F', "PressAlt"},
        {"LineEditPressSlope", 0x0014, 'F', "PressSlope"},
        {"LineEditPressOffset", 0x0018, 'F', "PressOffset"},
        {"ComboBoxWindUnits", 0x00D4, 'C', "WindUnits"},
        {"LineEditWindSlope", 0x001C, 'F', "WindSlope"},
        {"LineEditWindOffset", 0x0020, 'F', "WindOffset"},
        {"ComboBoxAN1Type", 0x00C8, 'C', "AN1Type"},
        {"ComboBoxAN1Units", 0x00D8, 'C', "AN1Units"},
        {"LineEditAN1A", 0x0028, 'F', "AN1A"},
        {"LineEditAN1B", 0x002C, 'F', "AN1B"},
        {"LineEditAN1C", 0x0030, 'F', "AN1C"},
        {"LineEditAN1D", 0x0034, 'F', "AN1D"},
        {"LineEditAN1Ref", 0x0038, 'F', "AN1R"},
        {"LineEditAN1Units", 0x01F4, 'T', "AN1Units2"},
        {"ComboBoxAN2Type", 0x00CA, 'C', "AN2Type"},
        {"ComboBoxAN2Units", 0x00DA, 'C', "AN2Units"},
        {"LineEditAN2A", 0x003C, 'F', "AN2A"},
        {"LineEditAN2B", 0x0040, 'F', "AN2B"},
        {"LineEditAN2C", 0x0044, 'F', "AN2C"},
        {"LineEditAN2D", 0x0048, 'F', "AN2D"},
        {"LineEditAN2Ref", 0x004C, 'F', "AN2R"},
        {"LineEditAN2Units", 0x01FB, 'T', "AN2Units2"},
        {"ComboBoxRainType", 0x00CC, 'C', "RainType"},
        {"LineEditRainInc", 0x0050, 'F', "RainInc"},
        {"ComboBoxWURate", 0x00CE, 'C', "WURate"},
        {"LineEditWUUser", 0x0202, 'T', "WUUser"},
        {"LineEditWUPass", 0x0217, 'W', nullptr},
        {"LineEditEmailTo", 0x0323, 'T', "EmailTo"},
        {"LineEditEmailFrom", 0x027E, 'T', "EmailFrom"},
        {"LineEditEmailServer", 0x02A7, 'T', "EmailServer"},
        {"LineEditEmailServerPort", 0x00E8, 'P', nullptr},
        {"LineEditEmailUser", 0x0240, 'T', "EmailUser"},
        {"LineEditEmailPass", 0x0269, 'W', nullptr},
        {"LineEditFTPServer", 0x02FA, 'T', "FTPServer"},
        {"LineEditFTPUser", 0x02D0, 'T', "FTPUser"},
        {"LineEditFTPPass", 0x02E5, 'W', nullptr},
        {"ComboBoxLightning", 0x00F6, 'C', "LightningInstalled"},
        {"LineEditWiFiAP", 0x0385, 'T', "WiFiAP"},
        {"LineEditWiFiPass", 0x03A6, 'W', "WiFiPass"},
    };
    return items;
}

QByteArray report(const QByteArray &payload)
{
    QByteArray bytes(1, '\0');
    bytes += payload;
    bytes.append(65 - bytes.size(), '\0');
    return bytes;
}

QByteArray be16(int value)
{
    QByteArray bytes;
    bytes.append(static_cast<char>((value >> 8) & 0xFF));
    bytes.append(static_cast<char>(value & 0xFF));
    return bytes;
}

QByteArray be32(quint32 value)
{
    return be16(static_cast<int>(value >> 16)) + be16(static_cast<int>(value & 0xFFFF));
}

quint32 bitsOf(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
