#include "model/number_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace tellumic {

namespace {

constexpr int kMaxFastDecimals = 9;
constexpr std::array<double, kMaxFastDecimals + 1> kPow10 = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
constexpr std::array<std::uint64_t, kMaxFastDecimals + 1> kPow10Int = {
    1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull, 10000000ull, 100000000ull, 1000000000ull};
// Below this scaled magnitude a double still resolves 1/4096, far finer than the margin
// kept around a half below.
constexpr double kFastLimit = 1099511627776.0;  // 2^40
constexpr double kTieMargin = 1e-3;

void appendGrouped(std::string &out, std::string_view digits, const NumberPattern &p)
{
    // Leading zeros up to the forced digits; a bare zero is shown only when forced.
    std::string_view d = digits;
    while (d.size() > 1 && d.front() == '0')
        d.remove_prefix(1);
    if (d == "0" && p.minIntegerDigits == 0)
        d = {};
    const std::size_t width = std::max<std::size_t>(d.size(), static_cast<std::size_t>(p.minIntegerDigits));
    const std::size_t pad = width - d.size();
    for (std::size_t i = 0; i < width; ++i) {
        if (p.grouping && i > 0 && (width - i) % 3 == 0)
            out.push_back(',');
        out.push_back(i < pad ? '0' : d[i - pad]);
    }
}

void assemble(std::string &out, bool negative, std::string_view intDigits, std::string_view fracDigits,
              const NumberPattern &p)
{
    // Optional decimals ("#" after the point) drop their trailing zeros.
    std::size_t fracLen = fracDigits.size();
    while (fracLen > static_cast<std::size_t>(p.minDecimals) && fracDigits[fracLen - 1] == '0')
        --fracLen;
    bool nonZero = fracDigits.substr(0, fracLen).find_first_not_of('0') != std::string_view::npos ||
                   intDigits.find_first_not_of('0') != std::string_view::npos;
    if (negative && nonZero)
        out.push_back('-');
    appendGrouped(out, intDigits, p);
    if (fracLen > 0) {
        out.push_back('.');
        out.append(fracDigits.substr(0, fracLen));
    }
}

// Exact rounding through the shortest-exact fixed conversion of the library, with ties
// (values exactly half-way) pushed away from zero.
void appendExact(std::string &out, double value, const NumberPattern &p)
{
    const int decimals = p.maxDecimals;
    const double a = std::fabs(value);
    // a is half-way between two shown values exactly when a * 2^(d+1) is an odd integer.
    const double scaled = std::ldexp(a, decimals + 1);
    double rounded = a;
    if (scaled < 9007199254740992.0 && scaled == std::floor(scaled) && std::fmod(scaled, 2.0) == 1.0)
        rounded = std::nextafter(a, INFINITY);
    char buffer[400];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) {
        out.append("NaN");
        return;
    }
    std::string_view text(buffer, static_cast<std::size_t>(r.ptr - buffer));
    const auto dot = text.find('.');
    assemble(out, std::signbit(value), text.substr(0, dot),
             dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1), p);
}

}  // namespace

void appendNumber(std::string &out, double value, const NumberPattern &p)
{
    if (!std::isfinite(value)) {
        out.append("NaN");
        return;
    }
    const int decimals = p.maxDecimals;
    if (decimals <= kMaxFastDecimals) {
        const double y = std::fabs(value) * kPow10[static_cast<std::size_t>(decimals)];
        if (y < kFastLimit) {
            const double whole = std::floor(y);
            const double frac = y - whole;
            if (std::fabs(frac - 0.5) > kTieMargin) {
                const auto n = static_cast<std::uint64_t>(whole) + (frac > 0.5 ? 1u : 0u);
                const std::uint64_t scale = kPow10Int[static_cast<std::size_t>(decimals)];
                char intBuf[24];
                char fracBuf[16];
                const auto ir = std::to_chars(intBuf, intBuf + sizeof intBuf, n / scale);
                std::uint64_t f = n % scale;
                for (int i = decimals - 1; i >= 0; --i) {
                    fracBuf[i] = static_cast<char>('0' + f % 10);
                    f /= 10;
                }
                assemble(out, std::signbit(value), std::string_view(intBuf, static_cast<std::size_t>(ir.ptr - intBuf)),
                         std::string_view(fracBuf, static_cast<std::size_t>(decimals)), p);
                return;
            }
        }
    }
    appendExact(out, value, p);
}

std::string formatNumber(double value, const NumberPattern &pattern)
{
    std::string out;
    appendNumber(out, value, pattern);
    return out;
}

std::string formatNumber(double value, std::string_view pattern)
{
    return formatNumber(value, NumberPattern::parse(pattern));
}

}  // namespace tellumic
