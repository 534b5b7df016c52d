#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "host/object_names.h"

// Counts the bytes this program allocates while a test asks for it: the work of a parse
// shows in what it copies.
namespace {
std::atomic<bool> g_counting{false};
std::atomic<std::size_t> g_allocated{0};
}  // namespace

void *operator new(std::size_t size)
{
    if (g_counting)
        g_allocated += size;
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

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
    // Blanks after a slash and at the end of the name go; others stay.
    EXPECT_EQ(ParseObjectName(" a / b\t/ c "), 3);
    EXPECT_EQ(GetObjectNameParameterString(1, false), " a ");
    EXPECT_EQ(GetObjectNameParameterString(2, false), "b\t");
    EXPECT_EQ(GetObjectNameParameterString(3, false), "c");
}

// A long name costs work in proportion to its length: the parse copies each character a
// bounded number of times, not once for every part before it.
TEST(ObjectNamesTest, ALongNameIsParsedInOnePass)
{
    std::string name;
    for (int i = 0; i < 20'000; ++i)
        name += "a/";
    name += "last";
    g_allocated = 0;
    g_counting = true;
    const auto count = ParseObjectName(name);
    g_counting = false;
    EXPECT_EQ(count, 20'001);
    EXPECT_EQ(GetObjectNameParameterString(20'000, false), "a");
    EXPECT_EQ(GetObjectNameParameterString(20'001, false), "last");
    EXPECT_LT(g_allocated.load(), 64 * name.size()) << "bytes allocated for a name of " << name.size();

    // The count is 16-bit: parts beyond its range are not taken.
    name.clear();
    for (int i = 0; i < 40'000; ++i)
        name += "b/";
    EXPECT_EQ(ParseObjectName(name), 32'767);
    EXPECT_EQ(GetObjectNameParameterString(32'767, false), "b");
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
