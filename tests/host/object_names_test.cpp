#include <gtest/gtest.h>

#include "host/object_names.h"

namespace tellumic {
namespace {

TEST(ObjectNamesTest, PartsAndStrippedValues)
{
    EXPECT_EQ(ParseObjectName("Demo/Demo/Meters/TMC-FT-Log-364"), 4);
    EXPECT_EQ(GetObjectNameParameterString(3, true), "Meters");
    EXPECT_EQ(GetObjectNameParameterString(4, true), "TMC-FT-Log-364");
    EXPECT_EQ(GetObjectNameParameterString(0, true), "");
    EXPECT_EQ(GetObjectNameParameterString(5, true), "");

    EXPECT_EQ(ParseObjectName("net:Demo/sys:Demo/sub:Meters/dev:TMC-FT-Log-364"), 4);
    EXPECT_EQ(GetObjectNameParameterString(3, true), "Meters");
    EXPECT_EQ(GetObjectNameParameterString(4, false), "dev:TMC-FT-Log-364");
    EXPECT_EQ(GetObjectNameParameterString(4, true), "TMC-FT-Log-364");

    // A part ending in a colon is used whole; two slashes after the first part end the parse.
    EXPECT_EQ(ParseObjectName("a/sub:/dev"), 3);
    EXPECT_EQ(GetObjectNameParameterString(2, true), "sub:");
    EXPECT_EQ(ParseObjectName("first//second"), 1);
    EXPECT_EQ(ParseObjectName(""), 0);
    EXPECT_EQ(ParseObjectName("single"), 1);
}

TEST(ObjectNamesTest, CommandAndClassNames)
{
    EXPECT_EQ(GetCommandIdName(20), "Browse");
    EXPECT_EQ(GetCommandIdName(50), "Register");
    EXPECT_EQ(GetCommandIdName(61), "Monitor Recovery");
    EXPECT_EQ(GetCommandIdName(51), "Custom command 51");
    EXPECT_EQ(GetClassIdName(0), "Object Server");
    EXPECT_EQ(GetClassIdName(7), "Application Device");
    EXPECT_EQ(GetClassIdName(36), "Device Template");
    EXPECT_EQ(GetClassIdName(48), "Detail Info");
    EXPECT_EQ(GetClassIdName(49), "Custom ID = 49");
    EXPECT_EQ(GetClassIdName(52), "Recovery Status");
    EXPECT_EQ(GetClassIdName(-1), "Custom ID = -1");
}

}  // namespace
}  // namespace tellumic
