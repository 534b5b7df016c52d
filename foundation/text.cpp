#include "foundation/text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "foundation/runtime_error.h"
#include "foundation/trace_log.h"

namespace tellumic {

std::string ParseWord(std::string_view text, std::string_view delimiter, std::string &rest)
{
    std::string word;
    const auto pos = delimiter.empty() ? std::string_view::npos : text.find(delimiter);
    if (pos == std::string_view::npos) {
        word = std::string(text);
        rest.clear();
    } else {
        word = std::string(text.substr(0, pos));
        rest = std::string(trimBlanks(text.substr(pos + delimiter.size())));
    }
    DebugLog("MMain.ParseWord(" + std::string(text) + "," + std::string(delimiter) + "," + rest + ")");
    return word;
}

std::string_view trimBlanks(std::string_view text)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

double Val(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' || text.front() == '\r'))
        text.remove_prefix(1);
    if (text.size() >= 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h')) {
        std::uint32_t v = 0;
        const auto r = std::from_chars(text.data() + 2, text.data() + text.size(), v, 16);
        return r.ptr == text.data() + 2 ? 0.0 : static_cast<double>(static_cast<std::int32_t>(v));
    }
    std::size_t i = 0;
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            number.push_back('-');
        ++i;
    }
    bool digits = false;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        number.push_back(text[i++]);
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        number.push_back(text[i++]);
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            number.push_back(text[i++]);
            digits = true;
        }
    }
    if (!digits)
        return 0.0;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            exponent.push_back(text[j++]);
        bool expDigits = false;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) {
            exponent.push_back(text[j++]);
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    double v = 0.0;
    std::from_chars(number.data(), number.data() + number.size(), v);
    return v;
}

std::optional<double> parseDouble(std::string_view text)
{
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    double v = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        // Out of double range: the conversion still names a number, as an infinity or zero.
        return text.front() == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        return std::nullopt;
    return v;
}

std::optional<std::int64_t> parseWholeNumber(std::string_view text, std::int64_t low, std::int64_t high)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty() || text.front() == '+')
        return std::nullopt;
    std::int64_t v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v, 10);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v < low || v > high)
        return std::nullopt;
    return v;
}

double toDouble(std::string_view text)
{
    const auto v = parseDouble(text);
    if (!v)
        throw RuntimeError(ErrorNumber::kTypeMismatch, "Type mismatch");
    return *v;
}

namespace {
template <typename T>
T toIntegral(std::string_view text)
{
    const double d = toDouble(text);
    if (std::isnan(d))
        throw RuntimeError(ErrorNumber::kTypeMismatch, "Type mismatch");
    const double v = std::nearbyint(d);  // the default rounding mode is half to even
    if (!(v >= static_cast<double>(std::numeric_limits<T>::min()) && v <= static_cast<double>(std::numeric_limits<T>::max())))
        throw RuntimeError(ErrorNumber::kOverflow, "Overflow");
    return static_cast<T>(v);
}
}  // namespace

std::int32_t toLong(std::string_view text)
{
    return toIntegral<std::int32_t>(text);
}

std::int16_t toInteger(std::string_view text)
{
    return toIntegral<std::int16_t>(text);
}

std::uint8_t toByte(std::string_view text)
{
    return toIntegral<std::uint8_t>(text);
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string toUpperAscii(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string jsonQuoted(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0xF]);
        } else {
            out.push_back(ch);
        }
    }
    return out + '"';
}

}  // namespace tellumic
