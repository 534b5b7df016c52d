#pragma once

// The columns of the two CSV log formats that the viewer plots, and the charts they go to.
// The order of kQuantities is the order of a LogData's value columns.

#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>

namespace tellumic::logview {

enum class LogFormat : std::uint8_t { Short, Long };

// Fields of a line: 13 in a short file, 36 in a long one; Notes is the last.
constexpr std::size_t fieldCount(LogFormat f)
{
    return f == LogFormat::Short ? 13 : 36;
}
inline constexpr std::size_t kMaxFieldCount = 36;

// Splits a line into its fields: the first fieldCount(format) - 1 at commas, then Notes, the
// rest of the line. A line with fewer commas gives the fields before them and the rest.
// Returns how many fields it put into out, which holds at least fieldCount(format).
inline std::size_t splitFields(std::string_view line, LogFormat format, std::span<std::string_view> out)
{
    const std::size_t n = fieldCount(format);
    std::size_t count = 0, at = 0;
    while (count + 1 < n) {
        const std::size_t comma = line.find(',', at);
        if (comma == std::string_view::npos)
            break;
        out[count++] = line.substr(at, comma - at);
        at = comma + 1;
    }
    out[count++] = line.substr(at);
    return count;
}

// One chart per group, in this order.
enum class ChartGroup : std::uint8_t {
    Demand,
    Energy,  // interval energy from EnergySum, as bars per interval or daily totals
    Power,
    ReactivePower,
    Volts,
    Current,
    PowerFactor,
    Frequency,
};
inline constexpr std::size_t kChartGroupCount = 8;

struct ChartGroupInfo
{
    ChartGroup group;
    std::string_view title;
    std::string_view unit;  // as the CSV's units line writes it; "" for power factor
    bool longOnly;
};
const ChartGroupInfo &chartGroupInfo(ChartGroup g);

// A plotted column: its header name, its chart and its field index in each format
// (-1 where the format has no such column).
struct Quantity
{
    std::string_view column;
    ChartGroup group;
    int shortField;
    int longField;
};

inline constexpr Quantity kQuantities[] = {
    {"Demand", ChartGroup::Demand, 3, 3},
    {"PowerSum", ChartGroup::Power, -1, 9},
    {"PowerA", ChartGroup::Power, -1, 10},
    {"PowerB", ChartGroup::Power, -1, 11},
    {"PowerC", ChartGroup::Power, -1, 12},
    {"ReacPowerSum", ChartGroup::ReactivePower, -1, 13},
    {"ReacPowerA", ChartGroup::ReactivePower, -1, 14},
    {"ReacPowerB", ChartGroup::ReactivePower, -1, 15},
    {"ReacPowerC", ChartGroup::ReactivePower, -1, 16},
    {"VoltsA", ChartGroup::Volts, -1, 17},
    {"VoltsB", ChartGroup::Volts, -1, 18},
    {"VoltsC", ChartGroup::Volts, -1, 19},
    {"CurrentA", ChartGroup::Current, -1, 20},
    {"CurrentB", ChartGroup::Current, -1, 21},
    {"CurrentC", ChartGroup::Current, -1, 22},
    {"PF-A", ChartGroup::PowerFactor, -1, 23},
    {"PF-B", ChartGroup::PowerFactor, -1, 24},
    {"PF-C", ChartGroup::PowerFactor, -1, 25},
    {"Frequency", ChartGroup::Frequency, -1, 26},
};
inline constexpr std::size_t kQuantityCount = std::size(kQuantities);
inline constexpr std::size_t kDemand = 0;  // index of Demand in kQuantities

// The quantities a format carries: Demand alone for short records, all for long ones.
constexpr std::size_t quantityCount(LogFormat f)
{
    return f == LogFormat::Short ? 1 : kQuantityCount;
}

constexpr int fieldOf(const Quantity &q, LogFormat f)
{
    return f == LogFormat::Short ? q.shortField : q.longField;
}

// Field indexes shared by both formats, and those that differ.
inline constexpr int kRecordNumField = 0, kDateTimeField = 1, kEnergySumField = 2;
constexpr int logSecondsField(LogFormat f)
{
    return f == LogFormat::Short ? 4 : 27;
}
// The seven flag columns PowerFail ... Reset follow LogSeconds.
constexpr int firstFlagField(LogFormat f)
{
    return logSecondsField(f) + 1;
}

// Flag bits of a record, one per flag column in column order, and one for a record kept
// although it failed its check.
namespace RecordFlag {
inline constexpr std::uint8_t kPowerFail = 1 << 0;
inline constexpr std::uint8_t kClockChange = 1 << 1;
inline constexpr std::uint8_t kCalChange = 1 << 2;
inline constexpr std::uint8_t kCfgChange = 1 << 3;
inline constexpr std::uint8_t kOnline = 1 << 4;
inline constexpr std::uint8_t kError = 1 << 5;
inline constexpr std::uint8_t kReset = 1 << 6;
inline constexpr std::uint8_t kCrcMismatch = 1 << 7;
}  // namespace RecordFlag

}  // namespace tellumic::logview
