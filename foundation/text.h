#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tellumic {

// The part of text before the first delimiter (not trimmed); rest gets the part after it
// with surrounding blanks removed. Without a delimiter: the whole text, and rest "".
std::string ParseWord(std::string_view text, std::string_view delimiter, std::string &rest);

// Blanks (spaces and tabs) removed from both ends.
std::string_view trimBlanks(std::string_view text);

// Lenient numeric conversion: the number a text starts with (after leading blanks), 0 when
// it starts with none. Understands a sign, decimals, an exponent and "&H" hexadecimal.
double Val(std::string_view text);

// Strict conversions: the whole text (blanks around it allowed) must be a number. Not a
// number: RuntimeError 13 (type mismatch); out of range: RuntimeError 6 (overflow).
// Fractions round half to even, as the integer conversions of the original platform did.
double toDouble(std::string_view text);
std::int32_t toLong(std::string_view text);
std::int16_t toInteger(std::string_view text);
std::uint8_t toByte(std::string_view text);

// The strict double conversion without throwing.
std::optional<double> parseDouble(std::string_view text);

// A whole number written in decimal digits with an optional sign, from low to high;
// nothing for any other text ("1e3", "0x10", "1.0", "12abc", " ", a value out of range).
// For numbers a person types on a command line.
std::optional<std::int64_t> parseWholeNumber(std::string_view text, std::int64_t low, std::int64_t high);

// text as a JSON string, quotes included: quotes and backslashes escaped, control
// characters as \u00XX, everything else (UTF-8 included) as it stands.
std::string jsonQuoted(std::string_view text);

// ASCII case-insensitive comparison.
bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string toUpperAscii(std::string_view text);

}  // namespace tellumic
