#include <gtest/gtest.h>

#include "host/device_templates.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

std::string xif(const std::string &programIdLine, bool blankFourth = false)
{
    std::string text = "File: meter.xif\r\nGenerated\r\n\r\n";
    if (!blankFourth)
        text = "File: meter.xif\r\nGenerated\r\nBy tool\r\n";
    else
        text += "   \r\n";
    return text + programIdLine + "\r\n*\r\n";
}

class XifSearchTest : public test::HomeTest
{
protected:
    std::string root() const { return (home.root() / "Import").string() + "/"; }
    void put(const std::string &relative, const std::string &text)
    {
        const auto path = home.root() / "Import" / relative;
        std::filesystem::create_directories(path.parent_path());
        test::writeFile(path, text);
    }
};

TEST_F(XifSearchTest, ReadsTheProgramIdLine)
{
    put("a.xif", xif("80:B7:E5:15:00:0A:04:0A"));
    put("b.XIF", xif("90:B7:E5:15:00:0A:04:0D", true));
    put("c.xif", xif("54:65:73:74:00:41:42:43"));
    put("d.txt", xif("80:B7:E5:15:00:0A:04:0A"));
    EXPECT_EQ(GetProgamIdFromXIF(root() + "a.xif"), "80B7E515000A040A");
    EXPECT_EQ(GetProgamIdFromXIF(root() + "b.XIF"), "90B7E515000A040D");
    EXPECT_EQ(GetProgamIdFromXIF(root() + "c.xif"), "Test ABC        ");
    EXPECT_EQ(GetProgamIdFromXIF(root() + "d.txt"), "");
}

TEST_F(XifSearchTest, OwnFilesFirstThenSubfoldersInNameOrderDepthFirst)
{
    put("zeta/deep/x.xif", xif("80:B7:E5:15:00:0A:04:0A"));
    put("alpha/inner/y.xif", xif("80:B7:E5:15:00:0A:04:0A"));
    put("beta/z.xif", xif("80:B7:E5:15:00:0A:04:0A"));
    put(".hidden/h.xif", xif("80:B7:E5:15:00:0A:04:07"));
    EXPECT_EQ(LocateXif(root(), "80b7e515000a040a"), root() + "alpha/inner/y.xif");
    put("top.xif", xif("80:B7:E5:15:00:0A:04:0A"));
    EXPECT_EQ(LocateXif(root(), "80B7E515000A040A"), root() + "top.xif");
    EXPECT_EQ(LocateXif(root(), "80B7E515000A0407"), "");
    EXPECT_TRUE(IsDirectory(root() + "alpha"));
    EXPECT_FALSE(IsDirectory(root() + "top.xif"));
    EXPECT_EQ(LocateXif(root() + "missing/", "80B7E515000A040A"), "");
}

}  // namespace
}  // namespace tellumic
