#ifndef SIM_BYTES_H
#define SIM_BYTES_H

#include <cstdint>
#include <cstring>

// The module's own byte order: every multi-byte value it sends or stores is
// big-endian. The simulated module keeps its own helpers rather than the
// program's, so a fault in the program's byte handling cannot hide itself by
// being mirrored on the module's side.
namespace sim
{

inline std::uint16_t readU16(const unsigned char *bytes)
{
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

inline std::uint32_t readU32(const unsigned char *bytes)
{
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) |
           (std::uint32_t(bytes[2]) << 8) | std::uint32_t(bytes[3]);
}

inline void writeU16(unsigned char *bytes, std::uint16_t value)
{
    bytes[0] = static_cast<unsigned char>(value >> 8);
    bytes[1] = static_cast<unsigned char>(value);
}

inline void writeU32(unsigned char *bytes, std::uint32_t value)
{
    bytes[0] = static_cast<unsigned char>(value >> 24);
    bytes[1] = static_cast<unsigned char>(value >> 16);
    bytes[2] = static_cast<unsigned char>(value >> 8);
    bytes[3] = static_cast<unsigned char>(value);
}

inline std::uint32_t floatToBits(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline float bitsToFloat(std::uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline void writeFloat(unsigned char *bytes, float value)
{
    writeU32(bytes, floatToBits(value));
}

} // namespace sim

#endif
