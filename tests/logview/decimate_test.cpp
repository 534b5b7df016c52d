// Decimation to the pixel width: each column's extremes survive, breaks survive, and the
// time axis ticks stay round and distinct.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>

#include "logview/decimate.h"
#include "logview/time_ticks.h"
#include "tests/logview/log_lines.h"

namespace tellumic::logview {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Series
{
    std::vector<CivilSeconds> time;
    std::vector<float> values;
    std::vector<std::uint8_t> breaks;
};

Series noisy(std::size_t n, unsigned seed)
{
    Series s;
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0, 100);
    for (std::size_t i = 0; i < n; ++i) {
        s.time.push_back(static_cast<CivilSeconds>(i) * 900);
        s.values.push_back(1000 + noise(rng) + (i % 997 == 0 ? 5000.0f : 0.0f));
        s.breaks.push_back(i == 0);
    }
    return s;
}

bool hasPoint(const Trace &t, CivilSeconds x, float y)
{
    return std::any_of(t.points.begin(), t.points.end(),
                       [&](const TracePoint &p) { return p.x == static_cast<double>(x) && p.y == static_cast<double>(y); });
}

struct Zoom
{
    std::size_t records;
    int columns;
    double from, to;  // share of the series' time span
};

class KeepsExtremes : public ::testing::TestWithParam<Zoom>
{
};

// Every column shows the smallest and the largest record that falls into it, and no more
// than two points.
TEST_P(KeepsExtremes, OfEveryColumn)
{
    const Zoom z = GetParam();
    const Series s = noisy(z.records, 7);
    const double span = static_cast<double>(s.time.back());
    const TimeRange range{z.from * span, z.to * span};
    Trace t;
    decimateLine(s.time, s.values, s.breaks, range, z.columns, t);

    const double perColumn = range.length() / z.columns;
    std::vector<std::pair<std::size_t, std::size_t>> extremes(static_cast<std::size_t>(z.columns), {SIZE_MAX, SIZE_MAX});
    std::size_t inside = 0;
    float lo = 0, hi = 0;
    for (std::size_t i = 0; i < s.time.size(); ++i) {
        const auto x = static_cast<double>(s.time[i]);
        if (x < range.start || x > range.end)
            continue;
        lo = inside == 0 ? s.values[i] : std::min(lo, s.values[i]);
        hi = inside == 0 ? s.values[i] : std::max(hi, s.values[i]);
        ++inside;
        const auto c = std::min<std::size_t>(static_cast<std::size_t>((x - range.start) / perColumn),
                                             static_cast<std::size_t>(z.columns - 1));
        auto &[mn, mx] = extremes[c];
        if (mn == SIZE_MAX || s.values[i] < s.values[mn])
            mn = i;
        if (mx == SIZE_MAX || s.values[i] > s.values[mx])
            mx = i;
    }
    ASSERT_GT(inside, 0u);
    for (const auto &[mn, mx] : extremes) {
        if (mn == SIZE_MAX)
            continue;
        EXPECT_TRUE(hasPoint(t, s.time[mn], s.values[mn])) << "minimum of record " << mn;
        EXPECT_TRUE(hasPoint(t, s.time[mx], s.values[mx])) << "maximum of record " << mx;
    }
    EXPECT_LE(t.points.size(), 2u * static_cast<std::size_t>(z.columns) + 2u);
    EXPECT_EQ(t.segmentCount(), 1u);
    EXPECT_TRUE(t.any);
    EXPECT_EQ(t.min, lo);
    EXPECT_EQ(t.max, hi);
}

INSTANTIATE_TEST_SUITE_P(Zooms, KeepsExtremes,
                         ::testing::Values(Zoom{24392, 900, 0, 1}, Zoom{24392, 900, 0.4, 0.41},
                                           Zoom{24392, 333, 0.9999, 1}, Zoom{24392, 1, 0, 1}, Zoom{50, 900, 0, 1},
                                           Zoom{200000, 1500, 0.25, 0.75}));

// A break ends a polyline even where many records share one column; a NaN value too.
TEST(Decimate, BreaksSurviveAnyZoom)
{
    Series s = noisy(1000, 3);
    s.breaks[400] = 1;
    s.values[700] = kNaN;
    const TimeRange all{0, static_cast<double>(s.time.back())};
    for (const int columns : {3, 100, 5000}) {
        Trace t;
        decimateLine(s.time, s.values, s.breaks, all, columns, t);
        ASSERT_EQ(t.segmentCount(), 3u) << columns;
        // No polyline reaches across a break.
        const double edges[][2] = {{0, static_cast<double>(s.time[399])},
                                   {static_cast<double>(s.time[400]), static_cast<double>(s.time[699])},
                                   {static_cast<double>(s.time[701]), static_cast<double>(s.time.back())}};
        for (std::size_t k = 0; k < 3; ++k)
            for (const TracePoint &p : t.segment(k)) {
                EXPECT_GE(p.x, edges[k][0]) << columns << " polyline " << k;
                EXPECT_LE(p.x, edges[k][1]) << columns << " polyline " << k;
                EXPECT_FALSE(std::isnan(p.y));
            }
        if (columns >= 1000) {
            EXPECT_EQ(t.segment(0).back().x, edges[0][1]);
            EXPECT_EQ(t.segment(1).front().x, edges[1][0]);
        }
    }
}

// Lines run on to the record just outside each edge, so a zoomed line reaches the edges.
TEST(Decimate, ReachesTheRecordsJustOutsideTheRange)
{
    const Series s = noisy(100, 5);
    Trace t;
    decimateLine(s.time, s.values, s.breaks, {10 * 900 + 1, 20 * 900 - 1}, 50, t);
    ASSERT_FALSE(t.points.empty());
    EXPECT_EQ(t.points.front().x, 10 * 900.0);
    EXPECT_EQ(t.points.back().x, 20 * 900.0);
    EXPECT_EQ(t.points.size(), 11u);
}

TEST(Decimate, BarsKeepTheHighestOfAColumnAndWideBarsAsTheyAre)
{
    std::vector<Bar> bars;
    for (int i = 0; i < 1000; ++i)
        bars.push_back({i * 900, (i + 1) * 900, i == 517 ? 9.5 : 1.0, 900});
    BarTrace narrow;
    decimateBars(bars, {0, 900000}, 10, narrow);
    EXPECT_EQ(narrow.bars.size(), 10u);
    EXPECT_EQ(std::count_if(narrow.bars.begin(), narrow.bars.end(), [](const Bar &b) { return b.kwh == 9.5; }), 1);
    EXPECT_DOUBLE_EQ(narrow.max, 9.5);
    BarTrace wide;
    decimateBars(bars, {517 * 900.0 - 100, 520 * 900.0 + 100}, 500, wide);
    ASSERT_EQ(wide.bars.size(), 5u);
    EXPECT_EQ(wide.bars[1].start, 517 * 900);
    EXPECT_DOUBLE_EQ(wide.bars[1].kwh, 9.5);
}

struct TickCase
{
    double span;  // seconds
    int width;
    CivilSeconds step;  // 0: months or years
};

class Ticks : public ::testing::TestWithParam<TickCase>
{
};

TEST_P(Ticks, AreRoundDistinctAndApart)
{
    const TickCase c = GetParam();
    const auto start = static_cast<double>(test::civil(2026, 3, 5, 7, 13, 20));
    const TimeRange range{start, start + c.span};
    const auto ticks = timeTicks(range, c.width, 110);
    ASSERT_GE(ticks.size(), 2u);
    std::set<std::string> labels;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_GE(static_cast<double>(ticks[i].at), range.start);
        EXPECT_LE(static_cast<double>(ticks[i].at), range.end);
        EXPECT_TRUE(labels.insert(ticks[i].label).second) << "label twice: " << ticks[i].label;
        if (c.step != 0) {
            EXPECT_EQ(ticks[i].at % c.step, c.step == 7 * 86400 ? 4 * 86400 : 0) << ticks[i].label;
        } else {
            EXPECT_EQ(civilFields(ticks[i].at).day, 1);
        }
        if (i > 0) {
            EXPECT_GE(static_cast<double>(ticks[i].at - ticks[i - 1].at) * c.width / c.span, 110.0 * 0.9);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Spans, Ticks,
                         ::testing::Values(TickCase{3600, 1000, 600}, TickCase{86400, 1000, 3 * 3600},
                                           TickCase{86400, 400, 12 * 3600}, TickCase{7 * 86400, 1000, 86400},
                                           TickCase{30 * 86400, 1000, 7 * 86400}, TickCase{254 * 86400, 900, 0},
                                           TickCase{5 * 365 * 86400.0, 900, 0}, TickCase{40 * 365 * 86400.0, 900, 0},
                                           TickCase{2026 * 365.25 * 86400.0, 1200, 0},
                                           TickCase{8000 * 365.25 * 86400.0, 300, 0}));

}  // namespace
}  // namespace tellumic::logview
