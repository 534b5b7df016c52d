#include "model/value_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "foundation/dialogs.h"
#include "foundation/runtime_error.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"
#include "model/date_time.h"
#include "model/number_format.h"

namespace tellumic {

namespace {

std::string_view cutAtHash(std::string_view formatName)
{
    const auto hash = formatName.find('#');
    return hash == std::string_view::npos ? formatName : formatName.substr(0, hash);
}

std::string formatValue(std::string_view value, std::string_view pattern)
{
    const auto v = parseDouble(value);
    return v ? formatNumber(*v, pattern) : std::string("NaN");
}

std::string trimmedSeconds(long long seconds)
{
    return std::to_string(seconds);
}

}  // namespace

std::optional<std::int32_t> rawEnergyTenths(std::string_view value)
{
    std::uint32_t acc = 0;
    int count = 0;
    std::size_t start = 0;
    while (start <= value.size()) {
        const auto tab = value.find('\t', start);
        const auto piece = trimBlanks(value.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        unsigned byte = 0;
        const auto r = std::from_chars(piece.data(), piece.data() + piece.size(), byte);
        if (piece.empty() || r.ec != std::errc() || r.ptr != piece.data() + piece.size() || byte > 255 || ++count > 4)
            return std::nullopt;
        acc = (acc << 8) | byte;
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    if (count != 4)
        return std::nullopt;
    return static_cast<std::int32_t>(acc);
}

std::string FormatSnvtPower(std::string_view value, std::string &formatName)
{
    DebugLog("MPlugIn.FormatSnvtPower()");
    formatName = std::string(cutAtHash(formatName));
    if (formatName == "SNVT_power" || formatName == "SNVT_power_kilo")
        return formatValue(value, "##,##0.0");
    const auto v = parseDouble(value);
    if (!v)
        return "NaN";
    const double a = std::fabs(*v);
    return formatNumber(*v, a < 1000 ? "###0.00" : a < 10000 ? "##,##0.0" : "###,###,##0");
}

std::string FormatSnvtEnergy(std::string_view value, std::string_view formatName)
{
    DebugLog("MPlugIn.FormatSnvtEnergy()");
    const auto name = cutAtHash(formatName);
    if (name == "RAW") {
        const auto raw = rawEnergyTenths(value);
        return raw ? formatNumber(*raw / 10.0, "###,###,##0.0") : std::string("NaN");
    }
    const auto v = parseDouble(value);
    if (!v)
        return "NaN";
    if (name == "SNVT_elec_whr_f") {
        const double kwh = *v / 1000.0;
        const double a = std::fabs(kwh);
        return formatNumber(kwh, a < 1000      ? "#,##0.000"
                                 : a < 10000   ? "##,##0.00"
                                 : a < 100000  ? "###,##0.0"
                                               : "###,###,##0");
    }
    if (name == "SNVT_elec_kwh")
        return formatNumber(*v, "###,##0");
    if (name == "SNVT_elec_kwh_l" || name == "UNVT_elec_kwh_l")
        return formatNumber(*v, "###,###,##0.0");
    return formatNumber(0.0, "###,###,##0.0");
}

std::string FormatSnvtVolt(std::string_view value, std::string_view formatName)
{
    DebugLog("MPlugIn.FormatSnvtVolt()");
    return formatValue(value, cutAtHash(formatName) == "SNVT_volt_ac" ? "####0" : "###0.0");
}

std::string FormatSnvtFreq(std::string_view value, std::string_view formatName)
{
    DebugLog("MPlugIn.FormatSnvtFreq()");
    return formatValue(value, cutAtHash(formatName) == "SNVT_freq_hz" ? "##0.0" : "##0.00");
}

std::string FormatSnvtAmp(std::string_view value, std::string_view formatName)
{
    DebugLog("MPlugIn.FormatSnvtAmp()");
    const auto name = cutAtHash(formatName);
    if (name == "SNVT_amp_f") {
        const auto v = parseDouble(value);
        if (!v)
            return "NaN";
        const double a = std::fabs(*v);
        return formatNumber(*v, a < 10 ? "###0.000" : a < 100 ? "###0.00" : a < 1000 ? "###0.0" : "##,##0");
    }
    if (name == "SNVT_amp")
        return formatValue(value, "###0.0");
    if (name == "SNVT_amp_ac")
        return formatValue(value, "##,##0");
    return formatValue(value, "###0.000");
}

std::string FormatSnvtPowerFact(std::string_view value, std::string_view)
{
    DebugLog("MPlugIn.FormatSnvtPowerFact()");
    return formatValue(value, "0.000");
}

std::string FormatSnvtTimeStamp(std::string_view value, std::string_view)
{
    DebugLog("MPlugIn.FormatSnvtTimeStamp()");
    return FormatDateTime(ParseDateTime(value));
}

std::string Format_SCPTmaxSndT(std::string_view elapsedTime)
{
    DebugLog("MPlugIn.Format_SCPTmaxSndT()");
    try {
        // Days before the first blank, then hours:minutes:seconds:milliseconds. The sum is
        // taken in 32 bits with the days counted, so send times up to the meter's 12 hours
        // and beyond convert.
        std::int64_t days = 0;
        std::string_view rest = elapsedTime;
        if (const auto blank = elapsedTime.find(' '); blank != std::string_view::npos) {
            days = toLong(elapsedTime.substr(0, blank));
            rest = elapsedTime.substr(blank + 1);
        }
        std::vector<std::string_view> parts;
        for (std::size_t start = 0;;) {
            const auto colon = rest.find(':', start);
            parts.push_back(rest.substr(start, colon == std::string_view::npos ? std::string_view::npos : colon - start));
            if (colon == std::string_view::npos)
                break;
            start = colon + 1;
        }
        if (parts.size() < 3)
            throw RuntimeError(ErrorNumber::kSubscriptOutOfRange, "Subscript out of range");
        const std::int64_t seconds = days * 86400 + std::int64_t{toInteger(parts[0])} * 3600 +
                                     std::int64_t{toInteger(parts[1])} * 60 + toInteger(parts[2]);
        if (seconds > INT32_MAX || seconds < INT32_MIN)
            throw RuntimeError(ErrorNumber::kOverflow, "Overflow");
        return trimmedSeconds(seconds);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MPlugIn.Format_SCPTmaxSndT()," + errorText(e));
        return "Error";
    }
}

bool secondsToElapsedTime(std::string_view seconds, std::string &elapsedTime)
{
    std::int32_t n = 0;
    try {
        n = toLong(seconds);
    } catch (const RuntimeError &) {
        return false;
    }
    const std::int32_t days = n / 86400;
    std::int32_t rest = n - days * 86400;
    const std::int32_t hours = rest / 3600;
    rest -= hours * 3600;
    const std::int32_t minutes = rest / 60;
    rest -= minutes * 60;
    elapsedTime = std::to_string(days) + " " + std::to_string(hours) + ":" + std::to_string(minutes) + ":" +
                  std::to_string(rest) + ":0";
    return true;
}

std::string SecondsTo_SCPTmaxSndT(std::string_view seconds)
{
    DebugLog("MPlugIn.SecondsTo_SCPTmaxSndT(" + std::string(seconds) + ")");
    std::string elapsed;
    try {
        toLong(seconds);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MPlugIn.SecondsTo_SCPTmaxSndT()," + errorText(e));
        MsgBox("Error converting seconds into SCPTmaxSndT format: " + errorText(e), MsgStyle::kOkOnly,
               "Tellumic Plug-in");
        return "0 0:0:5:0";
    }
    secondsToElapsedTime(seconds, elapsed);
    return elapsed;
}

std::string FormatNeuronId(std::string_view neuronId)
{
    DebugLog("MPlugIn.FormatNeuronId(" + std::string(neuronId) + ")");
    std::string out;
    for (std::size_t i = 0; i < 12; i += 2) {
        if (i > 0)
            out.push_back('-');
        if (i < neuronId.size())
            out.append(neuronId.substr(i, 2));
    }
    return out;
}

std::string HexToChar(std::string_view pair)
{
    DebugLog("MPlugIn.HexToChar(" + std::string(pair) + ")");
    unsigned code = 0;
    const auto r = std::from_chars(pair.data(), pair.data() + pair.size(), code, 16);
    if (pair.empty() || r.ec != std::errc() || r.ptr != pair.data() + pair.size() || code > 255)
        return " ";
    // The byte is a character of the 8-bit code page (Latin-1), kept here as UTF-8.
    if (code < 0x80)
        return std::string(1, static_cast<char>(code));
    return std::string{static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
}

std::string HexToString(std::string_view hex)
{
    DebugLog("MPlugIn.HexToString(" + std::string(hex) + ")");
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const auto pair = hex.substr(i, 2);
        if (pair == "00")
            break;
        out += HexToChar(pair);
    }
    return out;
}

}  // namespace tellumic
