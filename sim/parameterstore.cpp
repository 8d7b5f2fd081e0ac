#include "sim/parameterstore.h"

#include "sim/bytes.h"

namespace sim
{

bool ParameterStore::isFloatIndex(int index)
{
    return index >= 0 && index <= 80 && index % 4 == 0;
}

bool ParameterStore::isInt16Index(int index)
{
    return index >= 200 && index <= 264 && index % 2 == 0;
}

bool ParameterStore::isTextIndex(int index)
{
    return index >= 500 && index <= 934;
}

void ParameterStore::clear()
{
    floats.clear();
    int16s.clear();
    texts.clear();
}

void ParameterStore::loadStationConfiguration()
{
    clear();
    const struct {
        int index;
        float value;
    } floatValues[] = {
        {0, 1.0f},
        {4, -0.3f},
        {8, 1.02f},
        {12, 1.5f},
        {16, 342.0f},
        {20, 1.0f},
        {24, 0.8f},
        {28, 1.0f},
        {32, 0.0f},
        {36, 0.0f},
        {40, 0.0011164014655f},
        {44, 0.000237982973213f},
        {48, -3.72283234e-07f},
        {52, 9.9063233e-08f},
        {56, 10000.0f},
        {60, 0.05f},
        {64, -10.0f},
        {68, 0.0f},
        {72, 0.0f},
        {76, 0.0f},
        {80, 0.2f},
    };
    for (const auto &entry : floatValues)
        setFloatBits(entry.index, floatToBits(entry.value));

    const struct {
        int index;
        int value;
    } int16Values[] = {
        {200, 1},   // analog input 1: soil temperature
        {202, 5},   // analog input 2: globe temperature
        {204, 1},   // rain gauge in millimetres
        {206, 2},   // Weather Underground every 15 minutes
        {208, 0},   // degrees Celsius
        {210, 3},   // hPa
        {212, 2},   // km/h
        {214, 2},   // fan in daylight
        {216, 0},   // analog 1 in degrees Celsius
        {218, 0},   // analog 2 units
        {220, 4},   // log every 10 minutes
        {228, 2},   // log e-mailed daily
        {230, 1},   // log sent by FTP hourly
        {232, 587}, // mail server port
        {240, 0},   // cell modem enabled
        {246, 1},   // lightning sensor installed
        {252, 3},   // NorvaleLive every 5 minutes
        {258, 1},   // soil probes fitted
        {264, 0},   // no Solvane
    };
    for (const auto &entry : int16Values)
        setInt16(entry.index, static_cast<std::uint16_t>(entry.value));

    const struct {
        int index;
        const char *text;
    } textValues[] = {
        {500, "degC"},
        {507, "degC"},
        {514, "KTALVIK12"},
        {535, "wu-secret"},
        {556, "Ridge North"},
        {576, "station@example.net"},
        {617, "mail-secret"},
        {638, "station@example.net"},
        {679, "smtp.example.net"},
        {720, "upload"},
        {741, "ftp-secret"},
        {762, "ftp.example.net"},
        {803, "technician@example.net"},
        {844, "internet"},
        {885, "+15550100"},
        {901, "Station-AP"},
        {934, "wifi-secret"},
    };
    for (const auto &entry : textValues)
        setText(entry.index, entry.text);
}

std::uint32_t ParameterStore::floatBits(int index) const
{
    const auto found = floats.find(index);
    return found == floats.end() ? 0 : found->second;
}

void ParameterStore::setFloatBits(int index, std::uint32_t bits)
{
    floats[index] = bits;
}

std::uint16_t ParameterStore::int16(int index) const
{
    const auto found = int16s.find(index);
    return found == int16s.end() ? 0 : found->second;
}

void ParameterStore::setInt16(int index, std::uint16_t value)
{
    int16s[index] = value;
}

std::string ParameterStore::text(int index) const
{
    const auto found = texts.find(index);
    return found == texts.end() ? std::string() : found->second;
}

void ParameterStore::setText(int index, const std::string &bytes)
{
    texts[index] = bytes.substr(0, ReplyTextBytes);
}

} // namespace sim
