#include "model/number_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <utility>

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
// Keeps the fast path's text within its buffer: 13 digits of 2^40, their separators, the
// forced digits, the point and 9 decimals.
constexpr int kMaxFastIntegerDigits = 24;

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

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Puts the two digits of v (below 100) before q and returns the new start.
inline char *putTwoDigits(char *q, std::uint64_t v)
{
    q -= 2;
    q[0] = kDigitPairs[2 * v];
    q[1] = kDigitPairs[2 * v + 1];
    return q;
}

// n is the value times 10^decimals, already rounded. The text is put together right to left
// in a small buffer: this path formats most of the numbers of a log download.
// The decimals are a template argument so that the divisions are by constants.
template <int decimals>
void appendScaled(std::string &out, bool negative, std::uint64_t n, const NumberPattern &p)
{
    std::uint64_t whole = n / kPow10Int[decimals];
    std::uint64_t frac = n % kPow10Int[decimals];
    // Optional decimals ("#" after the point) drop their trailing zeros.
    int fracLen = decimals;
    while (fracLen > p.minDecimals && frac % 10 == 0) {
        frac /= 10;
        --fracLen;
    }
    char buffer[64];
    char *const end = buffer + sizeof buffer;
    char *q = end;
    int i = 0;
    for (; i + 2 <= fracLen; i += 2, frac /= 100)
        q = putTwoDigits(q, frac % 100);
    if (i < fracLen)
        *--q = static_cast<char>('0' + frac % 10);
    if (fracLen > 0)
        *--q = '.';
    // At least the forced digits; a bare zero is shown only when forced.
    if (p.grouping) {
        int digits = 0;
        for (std::uint64_t w = whole; w != 0; w /= 10)
            ++digits;
        const int width = std::max(digits, p.minIntegerDigits);
        for (int k = 0; k < width; ++k, whole /= 10) {
            if (k > 0 && k % 3 == 0)
                *--q = ',';
            *--q = static_cast<char>('0' + whole % 10);
        }
    } else {
        char *const intEnd = q;
        for (; whole >= 100; whole /= 100)
            q = putTwoDigits(q, whole % 100);
        if (whole >= 10)
            q = putTwoDigits(q, whole);
        else if (whole > 0)
            *--q = static_cast<char>('0' + whole);
        while (intEnd - q < p.minIntegerDigits)
            *--q = '0';
    }
    if (negative && n != 0)
        *--q = '-';
    out.append(q, static_cast<std::size_t>(end - q));
}

template <std::size_t... D>
void appendScaled(std::string &out, bool negative, std::uint64_t n, int decimals, const NumberPattern &p,
                  std::index_sequence<D...>)
{
    ((decimals == static_cast<int>(D) ? appendScaled<static_cast<int>(D)>(out, negative, n, p) : void()), ...);
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
    if (decimals <= kMaxFastDecimals && p.minIntegerDigits <= kMaxFastIntegerDigits) {
        const double y = std::fabs(value) * kPow10[static_cast<std::size_t>(decimals)];
        if (y < kFastLimit) {
            // y is below 2^40, so truncation is the floor.
            const auto truncated = static_cast<std::uint64_t>(y);
            const double frac = y - static_cast<double>(truncated);
            // Near a half the scaled product decides only when it is exact (no rounding
            // residual); then a half rounds away from zero.
            const bool clear = std::fabs(frac - 0.5) > kTieMargin;
            if (clear || std::fma(std::fabs(value), kPow10[static_cast<std::size_t>(decimals)], -y) == 0.0) {
                appendScaled(out, std::signbit(value), truncated + ((clear ? frac > 0.5 : frac >= 0.5) ? 1u : 0u),
                             decimals, p, std::make_index_sequence<kMaxFastDecimals + 1>());
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
