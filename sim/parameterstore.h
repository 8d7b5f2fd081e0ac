#ifndef SIM_PARAMETERSTORE_H
#define SIM_PARAMETERSTORE_H

#include <array>
#include <cstdint>
#include <map>
#include <string>

// The module's parameters by index, typed by band: floats at the multiples
// of 4 from 0 to 80, 16-bit values at the even indices from 200 to 264,
// texts at 500 to 934. An index outside its band is unknown to the module.
namespace sim
{

class ParameterStore
{
public:
    static constexpr int MaxTextBytes = 59; // what the module keeps of a written text
    static constexpr int ReplyTextBytes = 60;

    static bool isFloatIndex(int index);
    static bool isInt16Index(int index);
    static bool isTextIndex(int index);

    // The configuration a module leaves the workshop with: a station that
    // logs every ten minutes, soil temperature on analog input 1, a globe
    // thermometer on input 2, soil probes fitted and no Solvane.
    void loadStationConfiguration();
    void clear();

    // An index of the band never written reads as 0 or the empty text.
    std::uint32_t floatBits(int index) const;
    void setFloatBits(int index, std::uint32_t bits);
    std::uint16_t int16(int index) const;
    void setInt16(int index, std::uint16_t value);
    // Raw bytes; the module stores at most 59 of a written text, but a test
    // may store 60 to fill a whole reply without a NUL.
    std::string text(int index) const;
    void setText(int index, const std::string &bytes);

private:
    std::map<int, std::uint32_t> floats;
    std::map<int, std::uint16_t> int16s;
    std::map<int, std::string> texts;
};

} // namespace sim

#endif
