#pragma once

// The data types of the simulated devices' NVs and CPs: how many bytes a value takes on the
// network and how it reads as text in each format LNS offers for it.
//
// Formats of a type T: "T" (the default), "T#SI" and "T#US" (the same text for electrical
// units; temperatures in degrees Fahrenheit under "#US") and "RAW" (the bytes as decimal
// numbers separated by tabs, most significant first). Some types have an alias format
// (the energy type "SNVT_elec_kwh_l" also answers to "UNVT_elec_kwh_l").

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tellumic::sim {

using Bytes = std::vector<std::uint8_t>;

enum class Encoding {
    Float32,      // IEEE single, big-endian; text is the shortest exact decimal
    Int16,        // signed, scaled by `scale`
    UInt16,       // unsigned, scaled
    Int32,        // signed, scaled
    UInt8,        // unsigned, scaled
    TimeStamp,    // year (16 bits), month, day, hour, minute, second: "2011/03/05 14:07:09"
    ElapsedTime,  // days (16 bits), hours, minutes, seconds, milliseconds (16 bits): "0 0:5:0:0"
    Ascii,        // fixed-size text, zero-padded
};

struct ValueType
{
    std::string_view name;
    Encoding encoding = Encoding::Float32;
    double scale = 1.0;       // one raw unit in the type's unit
    int decimals = 0;         // decimals shown for scaled integers
    std::size_t size = 4;     // bytes on the network
    double minimum = 0.0;     // limits of the value in the type's unit (scaled types)
    double maximum = 0.0;
    bool fahrenheitUs = false;  // "#US" shows degrees Fahrenheit
    std::string_view alias;     // another format name this type answers to
};

// The type of this name, or nullptr.
const ValueType *findValueType(std::string_view name);

// Whether formatName is a format of the type ("T", "T#SI", "T#US", "RAW", the alias).
bool isFormatOf(const ValueType &type, std::string_view formatName);

// The value bytes as text in the format. Bytes of the wrong size give "".
std::string formatValue(const ValueType &type, const Bytes &bytes, std::string_view formatName);

// The bytes for a text in the format; false (and bytes untouched) when the text does not
// parse for the type or lies outside its range.
bool parseValue(const ValueType &type, std::string_view text, std::string_view formatName, Bytes &bytes);

// The bytes as "RAW" text and back.
std::string rawText(const Bytes &bytes);
bool parseRaw(std::string_view text, std::size_t size, Bytes &bytes);

}  // namespace tellumic::sim
