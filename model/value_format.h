#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tellumic {

// Meter values as the device window shows them. Each takes the value text the object
// server gave and the NV's format name; a value that is not a number shows "NaN".

// Cuts formatName at its first "#" and hands the cut name back.
std::string FormatSnvtPower(std::string_view value, std::string &formatName);
// The four tab-separated bytes of a "RAW" energy, most significant first, as the
// two's-complement count of 0.1 kWh they hold; nothing when they are not four bytes.
std::optional<std::int32_t> rawEnergyTenths(std::string_view value);
// In kWh. "RAW" values are four tab-separated bytes, most significant first, in 0.1 kWh.
std::string FormatSnvtEnergy(std::string_view value, std::string_view formatName);
std::string FormatSnvtVolt(std::string_view value, std::string_view formatName);
std::string FormatSnvtFreq(std::string_view value, std::string_view formatName);
std::string FormatSnvtAmp(std::string_view value, std::string_view formatName);
std::string FormatSnvtPowerFact(std::string_view value, std::string_view formatName);
std::string FormatSnvtTimeStamp(std::string_view value, std::string_view formatName);

// A send time "days hours:minutes:seconds:milliseconds" as whole seconds; "Error" when it
// cannot be read.
std::string Format_SCPTmaxSndT(std::string_view elapsedTime);
// Whole seconds as a send time; a text that is not a number is reported in a message box
// and gives the five-second fallback "0 0:0:5:0".
std::string SecondsTo_SCPTmaxSndT(std::string_view seconds);
// The strict form for callers that must not fall back: nothing when not a number of seconds.
bool secondsToElapsedTime(std::string_view seconds, std::string &elapsedTime);

// "010203040506" as "01-02-03-04-05-06".
std::string FormatNeuronId(std::string_view neuronId);
// Hexadecimal byte pairs as characters, up to a "00" pair.
std::string HexToString(std::string_view hex);
std::string HexToChar(std::string_view pair);

}  // namespace tellumic
