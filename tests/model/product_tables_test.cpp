#include <gtest/gtest.h>

#include "foundation/registry.h"
#include "foundation/runtime_error.h"
#include "model/product_tables.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

struct VersionCase
{
    const char *text;
    std::int16_t major;
    std::int16_t minor;
};

class VersionNumberTest : public ::testing::TestWithParam<VersionCase>
{
};

TEST_P(VersionNumberTest, SplitsMajorAndMinor)
{
    std::int16_t major = -1, minor = -1;
    GetVersionNumber(GetParam().text, major, minor);
    EXPECT_EQ(major, GetParam().major);
    EXPECT_EQ(minor, GetParam().minor);
}

INSTANTIATE_TEST_SUITE_P(Cases, VersionNumberTest,
                         ::testing::Values(VersionCase{"4.02 build 7", 4, 2}, VersionCase{"4.2", 4, 20},
                                           VersionCase{"4.10", 4, 10}, VersionCase{"7", 7, 0},
                                           VersionCase{"1.5.3", 1, 50}, VersionCase{"x.y", 0, 0}));

class ProductTablesTest : public test::HomeTest
{
};

TEST_F(ProductTablesTest, TablesHoldTheServedMetersAndTheBrowseCommand)
{
    FillProgramIdTable();
    FillCommandTable();
    const auto &t = productTables();
    EXPECT_EQ(t.programIdCount, 9);
    EXPECT_EQ(t.programIds[1].ProgramId, "80B7E515000A040A");
    EXPECT_EQ(t.programIds[1].Model, "TMC-FT-Log-364");
    EXPECT_TRUE(t.programIds[1].ImportXif);
    EXPECT_TRUE(t.programIds[9].ProgramId.empty());
    EXPECT_EQ(t.commands[0].CommandId, 20);
    EXPECT_EQ(t.commands[0].ObjectType, 7);
    EXPECT_EQ(t.commands[0].CommandName, "Browse Tellumic");
    EXPECT_EQ(t.commands[0].RegisterScope, 3);

    const auto *m = findProgramId("90b7e515000a040d");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Model, "TMC-FT-Log-PT-370");
    EXPECT_TRUE(m->logging && m->ptRatio);
    EXPECT_EQ(m->family, CatalogueFamily::F363);
    EXPECT_EQ(findProgramId("80B7E515008A0409")->family, CatalogueFamily::F362);
    EXPECT_EQ(findProgramId("80B7E515000A0400"), nullptr);
}

TEST_F(ProductTablesTest, MissingLonWorksPathFailsWithItsError)
{
    try {
        FillResourceTable();
        FAIL() << "expected the invalid LonWorks path error";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.unsignedNumber(), 0x800407DAu);
        EXPECT_EQ(e.description(), "GetLonWorksPath(): Invalid LonWorks path in registry");
    }
    CRegistry().MachineSetting("SOFTWARE\\LonWorks", "LonWorks Path", "");
    EXPECT_THROW(GetLonWorksPath(), RuntimeError);
}

TEST_F(ProductTablesTest, ResourceTableFollowsTheLonWorksPath)
{
    CRegistry().MachineSetting("SOFTWARE\\LonWorks", "LonWorks Path", "/opt/LonWorks");
    FillResourceTable();
    const auto &r = productTables().resources[0];
    EXPECT_EQ(r.ResourcePath, "/opt/LonWorks\\types\\User\\HVI");
    EXPECT_EQ(r.ProgramIdTemplate, "80B7E50000000000");
    EXPECT_EQ(r.Scope, 3);
    EXPECT_EQ(r.VersionMajor, 1);
    EXPECT_EQ(r.VersionMinor, 5);
}

}  // namespace
}  // namespace tellumic
