#include <gtest/gtest.h>

#include <SQLiteCpp/SQLiteCpp.h>

#include "foundation/registry.h"
#include "foundation/paths.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

constexpr std::uint32_t HKLM = kHkeyLocalMachine;
constexpr std::uint32_t HKCU = kHkeyCurrentUser;

class RegistryTest : public test::HomeTest
{
protected:
    CRegistry reg;
};

TEST_F(RegistryTest, StringValuesRoundTripAndMissingOnesReadEmpty)
{
    EXPECT_TRUE(reg.MachineSetting("SOFTWARE\\LonWorks", "LonWorks Path", "/opt/LonWorks"));
    EXPECT_EQ(reg.errorNumber(), 0);
    EXPECT_EQ(reg.MachineSetting("SOFTWARE\\LonWorks", "LonWorks Path"), "/opt/LonWorks");
    EXPECT_EQ(reg.MachineSetting("software\\LONWORKS\\", "lonworks path"), "/opt/LonWorks");
    EXPECT_EQ(reg.MachineSetting("SOFTWARE\\LonWorks", "Missing"), "");
    EXPECT_EQ(reg.MachineSetting("SOFTWARE\\Nowhere", "LonWorks Path"), "");
    // The roots are separate trees.
    std::string value = "kept";
    EXPECT_FALSE(reg.GetRegNameStr(HKCU, "SOFTWARE\\LonWorks", "LonWorks Path", value));
    EXPECT_EQ(value, "kept");

    EXPECT_TRUE(reg.AppSetting("Window", "Left", "120"));
    EXPECT_EQ(reg.AppSetting("Window", "Left"), "120");
    EXPECT_TRUE(reg.GetRegNameStr(HKCU, "SOFTWARE\\LonWorks\\LCA\\Applets\\Tellumic LNS Plug-In\\Window", "Left", value));
}

TEST_F(RegistryTest, EmbeddedNulCutsTheStringAndTypesMustMatch)
{
    EXPECT_TRUE(reg.SetRegNameStr(HKLM, "K", "S", std::string("abc\0def", 7)));
    std::string s;
    EXPECT_TRUE(reg.GetRegNameStr(HKLM, "K", "S", s));
    EXPECT_EQ(s, "abc");

    EXPECT_TRUE(reg.SetRegNameInt(HKLM, "K", "N", -5));
    std::int32_t n = 0;
    EXPECT_TRUE(reg.GetRegNameInt(HKLM, "K", "N", n));
    EXPECT_EQ(n, -5);
    s = "unchanged";
    EXPECT_FALSE(reg.GetRegNameStr(HKLM, "K", "N", s));
    EXPECT_EQ(s, "unchanged");
    EXPECT_EQ(reg.MachineSetting("K", "N"), "");

    EXPECT_TRUE(reg.SetRegNameStr(HKLM, "K", "T", "77 units"));
    EXPECT_TRUE(reg.GetRegNameInt(HKLM, "K", "T", n));
    EXPECT_EQ(n, 77);

    const std::vector<std::uint8_t> bytes{0, 1, 255};
    EXPECT_TRUE(reg.SetRegNameBytes(HKLM, "K", "B", bytes));
    std::vector<std::uint8_t> back;
    EXPECT_TRUE(reg.GetRegNameBytes(HKLM, "K", "B", back));
    EXPECT_EQ(back, bytes);
    EXPECT_FALSE(reg.GetRegNameBytes(HKLM, "K", "S", back));
}

TEST_F(RegistryTest, OlderCallsUseTheDefaultValueOfTheNamedSubKey)
{
    EXPECT_TRUE(reg.SetRegValue(HKLM, "SOFTWARE\\Tool", "Path", "/opt/bin/tool"));
    std::string v;
    EXPECT_TRUE(reg.GetRegValue(HKLM, "SOFTWARE\\Tool", "Path", v));
    EXPECT_EQ(v, "/opt/bin/tool");
    EXPECT_TRUE(reg.GetRegNameStr(HKLM, "SOFTWARE\\Tool\\Path", "", v));
    EXPECT_FALSE(reg.GetRegValue(HKLM, "SOFTWARE\\Tool", "Other", v));
}

TEST_F(RegistryTest, EnumerationRunsInNameOrderAndAdvancesPastTheEnd)
{
    for (const char *name : {"Charlie", "alpha", "Bravo"})
        ASSERT_TRUE(reg.MachineSetting(std::string("SOFTWARE\\LonWorks\\LCA\\Plug-Ins\\") + name, "x", "1"));
    EXPECT_EQ(reg.FindFirstMachineKey("SOFTWARE\\LonWorks\\LCA\\Plug-Ins"), "alpha");
    EXPECT_EQ(reg.GetNextMachineKey(), "Bravo");
    EXPECT_EQ(reg.GetNextMachineKey(), "Charlie");
    EXPECT_EQ(reg.GetNextMachineKey(), "");
    EXPECT_EQ(reg.GetNextMachineKey(), "");
    EXPECT_EQ(reg.FindFirstMachineKey("SOFTWARE\\Missing"), "");
    EXPECT_EQ(reg.GetNextMachineKey(), "");
}

TEST_F(RegistryTest, DeletingATreeRemovesEveryNestedKey)
{
    ASSERT_TRUE(reg.MachineSetting("A\\B\\C\\D", "v", "1"));
    ASSERT_TRUE(reg.MachineSetting("A\\B\\E", "v", "2"));
    ASSERT_TRUE(reg.MachineSetting("A\\Keep", "v", "3"));
    EXPECT_FALSE(reg.DeleteRegKey(HKLM, "A\\B"));  // has sub-keys
    EXPECT_TRUE(reg.DeleteMachineKey("A\\B"));
    EXPECT_EQ(reg.MachineSetting("A\\B\\C\\D", "v"), "");
    EXPECT_EQ(reg.FindFirstMachineKey("A\\B"), "");
    EXPECT_EQ(reg.FindFirstMachineKey("A"), "Keep");
    EXPECT_FALSE(reg.DeleteMachineKey("A\\B"));
    EXPECT_TRUE(reg.DeleteRegKey(HKLM, "A\\Keep"));
}

TEST_F(RegistryTest, FailedSettingWriteSetsTheErrorNumber)
{
    // A store whose file cannot be created: every writer fails, every reader reads empty.
    const auto blocked = home.root() / "blocked";
    test::writeFile(blocked, "x");
    CRegistry broken(blocked / "registry.sqlite");
    EXPECT_FALSE(broken.MachineSetting("SOFTWARE\\LonWorks", "LonWorks Path", "/x"));
    EXPECT_EQ(broken.errorNumber(), static_cast<std::int32_t>(0x80040201u));
    EXPECT_FALSE(broken.AppSetting("S", "N", "V"));
    EXPECT_EQ(broken.errorNumber(), static_cast<std::int32_t>(0x80040201u));
    EXPECT_EQ(broken.MachineSetting("SOFTWARE\\LonWorks", "LonWorks Path"), "");
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int kPerProcess = 150;
    reg.MachineSetting("SOFTWARE\\Race", "start", "1");  // the store exists before the race
    // Both writers are forked from this one thread: a fork while another thread holds the
    // allocator's lock (as the sanitizers' allocator may) leaves the child stuck for good.
    auto writer = [](int id) {
        return test::startInChild([id] {
            CRegistry r;
            for (int i = 0; i < kPerProcess; ++i) {
                const std::string key = "SOFTWARE\\Race\\P" + std::to_string(id) + "\\K" + std::to_string(i);
                if (!r.MachineSetting(key, "v", std::to_string(i)))
                    std::_Exit(1);
                if (!r.MachineSetting("SOFTWARE\\Race", "last" + std::to_string(id), std::to_string(i)))
                    std::_Exit(2);
            }
        });
    };
    const pid_t first = writer(1);
    const pid_t second = writer(2);
    const int firstStatus = test::waitForChild(first);
    ASSERT_EQ(test::waitForChild(second), 0);
    ASSERT_EQ(firstStatus, 0);
    for (int id : {1, 2}) {
        for (int i = 0; i < kPerProcess; ++i)
            ASSERT_EQ(reg.MachineSetting("SOFTWARE\\Race\\P" + std::to_string(id) + "\\K" + std::to_string(i), "v"),
                      std::to_string(i));
        EXPECT_EQ(reg.MachineSetting("SOFTWARE\\Race", "last" + std::to_string(id)), std::to_string(kPerProcess - 1));
    }
}

// A store another program holds for itself is a store failure, told apart from a missing
// key or value.
TEST_F(RegistryTest, ALockedStoreIsAFailureNotAMissingKey)
{
    const auto file = home.root() / "locked.sqlite";
    {
        RegistryStore store(file, 0);
        ASSERT_TRUE(store.createKey(HKLM, "SOFTWARE\\LonWorks"));
        EXPECT_FALSE(store.queryValue(HKLM, "SOFTWARE\\Nowhere", "x"));
        EXPECT_EQ(store.storeFailure(), "");
    }
    SQLite::Database other(file.string(), SQLite::OPEN_READWRITE);
    other.exec("PRAGMA locking_mode = EXCLUSIVE");
    other.exec("BEGIN EXCLUSIVE");
    RegistryStore locked(file, 0);
    EXPECT_FALSE(locked.keyExists(HKLM, "SOFTWARE\\LonWorks"));
    EXPECT_NE(locked.storeFailure().find("locked"), std::string::npos) << locked.storeFailure();
}

}  // namespace
}  // namespace tellumic
