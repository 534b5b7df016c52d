#include <gtest/gtest.h>

#include "foundation/runtime_error.h"
#include "model/nv_cp.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

struct FamilyCase
{
    const char *programId;
    int count;
    // A few landmark rows: name at position.
    std::vector<std::pair<int, const char *>> rows;
};

class FamilySizeTest : public ::testing::TestWithParam<FamilyCase>
{
};

TEST_P(FamilySizeTest, FillsTheFamilyRowsInOrder)
{
    const auto &c = GetParam();
    FillNvsCpsTable(c.programId);
    const auto &cat = nvCpCatalogue();
    EXPECT_EQ(cat.NvCpCount, c.count);
    for (const auto &[pos, name] : c.rows)
        EXPECT_EQ(cat.NvCpTable[static_cast<std::size_t>(pos)].Name, name) << "position " << pos;
    // Every entry's box carries its position, and monitor tags are position + 1 or 0.
    for (int i = 0; i < cat.NvCpCount; ++i) {
        const auto &e = cat.NvCpTable[static_cast<std::size_t>(i)];
        EXPECT_EQ(cat.tagOf(e.ValueCtl), i) << e.Name;
        EXPECT_TRUE(e.MonitorTag == 0 || e.MonitorTag == i + 1) << e.Name;
        const bool neverMonitored = e.Kind == "CP" || (e.Tab == "Energy" && e.Kind == "NVO");
        EXPECT_EQ(e.MonitorTag == 0, neverMonitored) << e.Name;
        if (e.Kind == "CP")
            EXPECT_FALSE(e.CpAddress.empty()) << e.Name;
        else
            EXPECT_TRUE(e.CpAddress.empty()) << e.Name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Families, FamilySizeTest,
    ::testing::Values(
        FamilyCase{"80B7E515000A0402", 34, {{1, "nciCtAmps_f"}, {2, "nvoPowerSum"}, {33, "nvoPF[2]"}}},
        FamilyCase{"80B7E515000A0405", 34, {{1, "nciCtAmps_f"}}},
        FamilyCase{"80B7E515000A0403", 34, {{1, "nciCtAmps"}, {17, "nciEngyUpdtT"}}},
        FamilyCase{"90B7E515000A040B", 34, {{1, "nciCtAmps"}}},
        FamilyCase{"80B7E515008A0409", 46, {{8, "nciLogMinutes"}, {9, "nvoPowerSum"}, {45, "nciPfSendTime"}}},
        FamilyCase{"80B7E515000A0407", 41, {{9, "nvoPowerSum"}, {40, "nvoPfC"}}},
        FamilyCase{"80B7E515000A040A", 42, {{9, "nciLogMinutes"}, {10, "nvoPowerSum"}, {41, "nvoPfC"}}},
        FamilyCase{"90B7E515000A040C", 42, {{9, "nvoPowerSum"}, {41, "UCPTptRatio"}}},
        FamilyCase{"90B7E515000A040D", 43, {{9, "nciLogMinutes"}, {42, "UCPTptRatio"}}}));

TEST(CatalogueTest, BoxesAndTypesDifferPerFamily)
{
    const ControlRef powerSumBox{ControlArray::txtNvo, 1};
    FillNvsCpsTable_302();
    auto &cat = nvCpCatalogue();
    EXPECT_EQ(cat.tagOf(powerSumBox), 2);
    EXPECT_EQ(cat.NvCpTable[2].TypeName, "SNVT_power_f#SI");
    EXPECT_EQ(cat.NvCpTable[12].TypeName, "SNVT_elec_whr_f");
    EXPECT_EQ(cat.NvCpTable[2].Block, "");
    FillNvsCpsTable_312();
    EXPECT_EQ(cat.NvCpTable[2].TypeName, "SNVT_power_kilo");
    EXPECT_EQ(cat.NvCpTable[12].TypeName, "SNVT_elec_kwh");
    FillNvsCpsTable_362();
    EXPECT_EQ(cat.tagOf(powerSumBox), 9);
    EXPECT_EQ(cat.NvCpTable[13].CpAddress, "F:6/C:0:22");
    EXPECT_EQ(cat.NvCpTable[3].CpAddress, "F:1/C:3:2");
    FillNvsCpsTable_363(true, true);
    EXPECT_EQ(cat.NvCpTable[3].CpAddress, "F:0/C:3:2");
    EXPECT_EQ(cat.NvCpTable[6].CpAddress, "N:nvoEnergySum/C:0:22");
    EXPECT_EQ(cat.NvCpTable[18].TypeName, "SNVT_elec_kwh_l");
    // Only power and demand rows have unit labels.
    int labelled = 0;
    for (int i = 0; i < cat.NvCpCount; ++i)
        labelled += cat.NvCpTable[static_cast<std::size_t>(i)].UnitCtl.isNone() ? 0 : 1;
    EXPECT_EQ(labelled, 10);
    EXPECT_EQ(cat.NvCpTable[15].UnitCtl, (ControlRef{ControlArray::lblReacPwrType, 1}));
    EXPECT_EQ(cat.byMonitorTag(11)->Name, "nvoPowerSum");
    EXPECT_EQ(cat.byMonitorTag(0), nullptr);
}

TEST(CatalogueTest, UnsupportedProgramIdLeavesTheTableAsItWas)
{
    FillNvsCpsTable("80B7E515008A0409");
    for (const char *id : {"80b7e515008a0409", "80B7E515000A0400", ""}) {
        try {
            FillNvsCpsTable(id);
            FAIL() << id;
        } catch (const RuntimeError &e) {
            EXPECT_EQ(e.unsignedNumber(), 0x800407DEu);
            EXPECT_EQ(e.description(),
                      "FillNvsCpsTable(): Invalid Tellumic model or firmware version - not supported by this plug-in");
        }
        EXPECT_EQ(nvCpCatalogue().NvCpCount, 46);
        EXPECT_EQ(nvCpCatalogue().NvCpTable[9].Name, "nvoPowerSum");
    }
}

TEST(CatalogueTest, PositionBeyondTheTableIsRefused)
{
    std::int16_t position = 51;
    EXPECT_THROW(AddNvCp(position, "x", "NVO", "Power", "", {ControlArray::txtNvo, 0}, true, "", "t", {}), RuntimeError);
    EXPECT_EQ(position, 51);
}

}  // namespace
}  // namespace tellumic
