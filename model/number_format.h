#pragma once

#include <string>
#include <string_view>

namespace tellumic {

// A spreadsheet-style numeric pattern: "#" an optional digit, "0" a forced digit, "," the
// thousands separator (anywhere in the integer part), "." the decimal point. "##,##0.0"
// shows at least one integer digit, grouping and exactly one decimal.
struct NumberPattern
{
    int minIntegerDigits = 1;
    int minDecimals = 0;
    int maxDecimals = 0;
    bool grouping = false;

    static constexpr NumberPattern parse(std::string_view pattern)
    {
        NumberPattern p{0, 0, 0, false};
        bool fraction = false;
        for (char c : pattern) {
            if (c == '.') {
                fraction = true;
            } else if (!fraction) {
                if (c == '0')
                    ++p.minIntegerDigits;
                else if (c == ',')
                    p.grouping = true;
            } else if (c == '0') {
                ++p.minDecimals;
                ++p.maxDecimals;
            } else if (c == '#') {
                ++p.maxDecimals;
            }
        }
        return p;
    }
};

// Appends value shown with the pattern: the exact value rounded half away from zero to the
// shown decimals, "," between thousands, "." as the decimal point whatever the locale,
// "NaN" for a value that is not a finite number. A value that rounds to zero shows no sign.
void appendNumber(std::string &out, double value, const NumberPattern &pattern);

std::string formatNumber(double value, const NumberPattern &pattern);
std::string formatNumber(double value, std::string_view pattern);

}  // namespace tellumic
