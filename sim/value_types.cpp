#include "sim/value_types.h"

#include <array>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "foundation/text.h"
#include "model/number_format.h"

namespace tellumic::sim {

namespace {

using E = Encoding;

constexpr ValueType T(std::string_view name, Encoding encoding, double scale = 1.0, int decimals = 0, std::size_t size = 4,
                      double minimum = 0, double maximum = 0, bool fahrenheitUs = false, std::string_view alias = {})
{
    return ValueType{name, encoding, scale, decimals, size, minimum, maximum, fahrenheitUs, alias};
}

// Limits are those of the encoding unless a type narrows them.
constexpr std::array kTypes = {
    T("SNVT_power", E::UInt16, 0.1, 1, 2, 0, 6553.5),
    T("SNVT_power_kilo", E::UInt16, 0.1, 1, 2, 0, 6553.5),
    T("SNVT_power_f", E::Float32),
    T("SNVT_volt", E::Int16, 0.1, 1, 2, -3276.8, 3276.7),
    T("SNVT_volt_ac", E::UInt16, 1, 0, 2, 0, 65535),
    T("SNVT_volt_f", E::Float32),
    T("SNVT_amp", E::Int16, 0.1, 1, 2, -3276.8, 3276.7),
    T("SNVT_amp_ac", E::UInt16, 1, 0, 2, 0, 65535),
    T("SNVT_amps_ac", E::UInt16, 1, 0, 2, 0, 65535),
    T("SNVT_amp_f", E::Float32),
    T("SNVT_amps_f", E::Float32),
    T("SNVT_freq_hz", E::UInt16, 0.1, 1, 2, 0, 6553.5),
    T("SNVT_freq_f", E::Float32),
    T("SNVT_pwr_fact", E::Int16, 0.00005, 5, 2, -1, 1),
    T("SNVT_pwr_fact_f", E::Float32),
    T("SNVT_elec_kwh", E::UInt16, 1, 0, 2, 0, 65535),
    T("SNVT_elec_whr_f", E::Float32),
    T("SNVT_elec_kwh_l", E::Int32, 0.1, 1, 4, -214748364.8, 214748364.7, false, "UNVT_elec_kwh_l"),
    T("UNVT_elec_kwh_l", E::Int32, 0.1, 1, 4, -214748364.8, 214748364.7),  // the maker's own, alike on the wire
    T("SNVT_count", E::UInt16, 1, 0, 2, 0, 65535),
    T("SNVT_temp_p", E::Int16, 0.01, 2, 2, -273.17, 327.66, true),
    T("SNVT_time_stamp", E::TimeStamp, 1, 0, 7),
    T("SNVT_elapsed_tm", E::ElapsedTime, 1, 0, 7),
    T("SCPTmaxSndT", E::ElapsedTime, 1, 0, 7),
    T("SCPTlocation", E::Ascii, 1, 0, 31),
    T("SCPTdevMajVer", E::UInt8, 1, 0, 1, 0, 255),
    T("SCPTdevMinVer", E::UInt8, 1, 0, 1, 0, 255),
    T("UCPTmodel", E::Ascii, 1, 0, 31),
    T("UCPTserialNumber", E::Ascii, 1, 0, 31),
    T("UCPTnominalVolt", E::UInt16, 1, 0, 2, 0, 65535),
    T("UCPTptRatio", E::Float32),
    T("UCPTfactoryCommand", E::UInt16, 1, 0, 2, 0, 65535),
    T("UCPTctAmps", E::UInt16, 1, 0, 2, 0, 65535),
    T("UCPTminVolt", E::UInt16, 1, 0, 2, 0, 65535),
    T("UCPTcreepLimit", E::UInt16, 1, 0, 2, 0, 65535),
    T("UCPTcalPower", E::Int32, 1, 0, 4, -2147483648.0, 2147483647),
    T("UCPTcalReactive", E::Int32, 1, 0, 4, -2147483648.0, 2147483647),
    T("UCPTcalVolt", E::Int32, 1, 0, 4, -2147483648.0, 2147483647),
    T("UCPTphaseAdj", E::Int32, 1, 0, 4, -2147483648.0, 2147483647),
    T("SCPTnvType", E::Ascii, 1, 0, 128),
    T("SNVT_count_f", E::Float32),
};

std::uint64_t readBig(const Bytes &b, std::size_t at, std::size_t n)
{
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i)
        v = (v << 8) | b[at + i];
    return v;
}

void writeBig(Bytes &b, std::size_t at, std::size_t n, std::uint64_t v)
{
    for (std::size_t i = 0; i < n; ++i)
        b[at + n - 1 - i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::string_view baseFormat(std::string_view format)
{
    return format.substr(0, format.find('#'));
}

bool usVariant(std::string_view format)
{
    const auto hash = format.find('#');
    return hash != std::string_view::npos && format.substr(hash) == "#US";
}

std::string digits(double v, int decimals)
{
    return formatNumber(v, decimals == 0 ? std::string("0") : "0." + std::string(static_cast<std::size_t>(decimals), '0'));
}

std::string floatText(float f)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, f);
    return std::string(buf, r.ptr);
}

// Splits text at any of the separators into exactly n whole numbers.
bool splitNumbers(std::string_view text, std::string_view separators, std::size_t n, std::vector<long> &out)
{
    out.clear();
    text = trimBlanks(text);
    std::size_t i = 0;
    while (out.size() < n) {
        const auto end = out.size() + 1 == n ? text.size() : text.find_first_of(separators, i);
        if (end == std::string_view::npos)
            return false;
        const auto part = text.substr(i, end - i);
        long v = 0;
        const auto r = std::from_chars(part.data(), part.data() + part.size(), v);
        if (part.empty() || r.ec != std::errc() || r.ptr != part.data() + part.size())
            return false;
        out.push_back(v);
        i = end + 1;
    }
    return true;
}

// A date on the calendar: year 1 to 3000, a month of the year, a day of that month.
bool isCalendarDate(long year, long month, long day)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 3000 || month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool inRange(const std::vector<long> &v, std::initializer_list<std::pair<long, long>> limits)
{
    std::size_t i = 0;
    for (const auto &[lo, hi] : limits) {
        if (v[i] < lo || v[i] > hi)
            return false;
        ++i;
    }
    return true;
}

bool isSigned(Encoding e)
{
    return e == E::Int16 || e == E::Int32;
}

std::string scaledText(const ValueType &t, const Bytes &b, bool us)
{
    const auto raw = readBig(b, 0, t.size);
    std::int64_t v = static_cast<std::int64_t>(raw);
    if (isSigned(t.encoding) && (raw >> (8 * t.size - 1)) != 0)
        v -= static_cast<std::int64_t>(1) << (8 * t.size);
    double value = static_cast<double>(v) * t.scale;
    if (us && t.fahrenheitUs)
        value = value * 9.0 / 5.0 + 32.0;
    return digits(value, t.decimals);
}

bool parseScaled(const ValueType &t, std::string_view text, bool us, Bytes &out)
{
    const auto parsed = parseDouble(text);
    if (!parsed || !std::isfinite(*parsed))
        return false;
    double value = *parsed;
    if (us && t.fahrenheitUs)
        value = (value - 32.0) * 5.0 / 9.0;
    const double raw = std::round(value / t.scale);
    const double tolerance = t.scale / 2;
    if (raw * t.scale < t.minimum - tolerance || raw * t.scale > t.maximum + tolerance)
        return false;
    out.assign(t.size, 0);
    writeBig(out, 0, t.size, static_cast<std::uint64_t>(static_cast<std::int64_t>(raw)));
    return true;
}

}  // namespace

const ValueType *findValueType(std::string_view name)
{
    for (const auto &t : kTypes)
        if (t.name == name)
            return &t;
    return nullptr;
}

bool isFormatOf(const ValueType &type, std::string_view formatName)
{
    if (formatName == "RAW" || (!type.alias.empty() && formatName == type.alias))
        return true;
    if (baseFormat(formatName) != type.name)
        return false;
    const auto suffix = formatName.substr(type.name.size());
    return suffix.empty() || suffix == "#SI" || suffix == "#US";
}

std::string rawText(const Bytes &bytes)
{
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            out.push_back('\t');
        out += std::to_string(bytes[i]);
    }
    return out;
}

bool parseRaw(std::string_view text, std::size_t size, Bytes &bytes)
{
    std::vector<long> v;
    if (size == 0 || !splitNumbers(text, "\t", size, v))
        return false;
    Bytes out;
    for (long b : v) {
        if (b < 0 || b > 255)
            return false;
        out.push_back(static_cast<std::uint8_t>(b));
    }
    bytes = std::move(out);
    return true;
}

std::string formatValue(const ValueType &t, const Bytes &b, std::string_view formatName)
{
    if (b.size() != t.size)
        return {};
    if (formatName == "RAW")
        return rawText(b);
    const bool us = usVariant(formatName);
    switch (t.encoding) {
    case E::Float32: {
        const auto bits = static_cast<std::uint32_t>(readBig(b, 0, 4));
        float f = 0;
        std::memcpy(&f, &bits, sizeof f);
        return floatText(f);
    }
    case E::TimeStamp:
        return formatNumber(static_cast<double>(readBig(b, 0, 2)), "0000") + "/" + formatNumber(b[2], "00") + "/" +
               formatNumber(b[3], "00") + " " + formatNumber(b[4], "00") + ":" + formatNumber(b[5], "00") + ":" +
               formatNumber(b[6], "00");
    case E::ElapsedTime:
        return digits(static_cast<double>(readBig(b, 0, 2)), 0) + " " + digits(b[2], 0) + ":" + digits(b[3], 0) + ":" +
               digits(b[4], 0) + ":" + digits(static_cast<double>(readBig(b, 5, 2)), 0);
    case E::Ascii: {
        std::string s;
        for (auto c : b) {
            if (c == 0)
                break;
            s.push_back(static_cast<char>(c));
        }
        return s;
    }
    default:
        return scaledText(t, b, us);
    }
}

bool parseValue(const ValueType &t, std::string_view text, std::string_view formatName, Bytes &bytes)
{
    if (formatName == "RAW")
        return parseRaw(text, t.size, bytes);
    Bytes out(t.size, 0);
    std::vector<long> v;
    switch (t.encoding) {
    case E::Float32: {
        const auto d = parseDouble(text);
        if (!d || !std::isfinite(*d) || std::fabs(*d) > FLT_MAX)
            return false;
        const float f = static_cast<float>(*d);
        std::uint32_t bits = 0;
        std::memcpy(&bits, &f, sizeof bits);
        writeBig(out, 0, 4, bits);
        break;
    }
    case E::TimeStamp:
        // A written stamp is a date the meter can keep: "0000/00/00" would become a date in 1753.
        if (!splitNumbers(text, "/- :", 6, v) || !inRange(v, {{0, 3000}, {0, 12}, {0, 31}, {0, 23}, {0, 59}, {0, 59}}) ||
            !isCalendarDate(v[0], v[1], v[2]))
            return false;
        writeBig(out, 0, 2, static_cast<std::uint64_t>(v[0]));
        for (std::size_t i = 1; i < 6; ++i)
            out[i + 1] = static_cast<std::uint8_t>(v[i]);
        break;
    case E::ElapsedTime:
        if (!splitNumbers(text, " :", 5, v) || !inRange(v, {{0, 65535}, {0, 23}, {0, 59}, {0, 59}, {0, 999}}))
            return false;
        writeBig(out, 0, 2, static_cast<std::uint64_t>(v[0]));
        out[2] = static_cast<std::uint8_t>(v[1]);
        out[3] = static_cast<std::uint8_t>(v[2]);
        out[4] = static_cast<std::uint8_t>(v[3]);
        writeBig(out, 5, 2, static_cast<std::uint64_t>(v[4]));
        break;
    case E::Ascii:
        if (text.size() >= t.size)
            return false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c < 0x20 || c > 0x7E)
                return false;
            out[i] = c;
        }
        break;
    default:
        if (!parseScaled(t, text, usVariant(formatName), out))
            return false;
    }
    bytes = std::move(out);
    return true;
}

}  // namespace tellumic::sim
