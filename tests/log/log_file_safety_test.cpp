// What may stand in a CSV log's place in the program folder, and device names too long for
// a file name: the log is never written or read through anything but its own regular file.

#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "foundation/paths.h"
#include "log/log_csv.h"
#include "log/log_file.h"
#include "log/log_transfer.h"
#include "tests/log/record_bytes.h"
#include "tests/log/recording_window.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kStoredLine = "7,2011-03-05 12:15:00,10000.0,1000.00,900,,,,,,,,\r\n";

struct PlantedCase
{
    const char *name;
    // Puts something in the log's place; the folder is the test's root, outside the program folder.
    void (*plant)(const std::filesystem::path &csv, const std::filesystem::path &folder);
    const char *problem;  // how the message names it
};

void PrintTo(const PlantedCase &c, std::ostream *os)
{
    *os << c.name;
}

class PlantedInTheLogsPlace : public test::HomeTest, public ::testing::WithParamInterface<PlantedCase>
{
protected:
    std::filesystem::path csv() const { return programFolder() / GetLogFilename("Meter1", true); }
};

// Opening for a download and scanning for the last record both refuse what is not the log's
// own regular file, at once (a pipe would block an open forever), and say what is wrong;
// whatever a link points at stays as it was.
TEST_P(PlantedInTheLogsPlace, IsRefusedWithAClearMessage)
{
    const PlantedCase &c = GetParam();
    c.plant(csv(), home.root());
    const int promptly = test::runInChild([&] {
        ::alarm(10);
        if (OpenLogFileForAppend(csv()))
            std::_Exit(20);
        LogDateTime dt;
        FindLastLogRecnum(csv(), dt);
        std::_Exit(0);
    });
    ASSERT_EQ(promptly, 0) << "20: opened; 128: blocked or crashed";

    EXPECT_FALSE(OpenLogFileForAppend(csv()));
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].caption, "Error writing log file");
    EXPECT_EQ(home.dialogs.shown()[0].text,
              "Error opening file for writing: Path/File access error: " + csv().string() + c.problem);

    LogDateTime dt;
    EXPECT_EQ(FindLastLogRecnum(csv(), dt), 0) << "nothing is read through a link";
    for (const auto &shown : home.dialogs.shown()) {
        if (shown.caption == "Finding most recent log record") {
            EXPECT_NE(shown.text.find(c.problem), std::string::npos) << shown.text;
        }
    }
    EXPECT_EQ(test::readFile(home.root() / "elsewhere.csv"), kStoredLine) << "the link's target is untouched";
    EXPECT_FALSE(std::filesystem::exists(home.root() / "nowhere.csv")) << "a dangling link creates nothing";
}

constexpr const char *kLink = " is a symbolic link; log files are never used through links";
constexpr const char *kNotAFile = " is not a regular file";

void plantTarget(const std::filesystem::path &folder)
{
    test::writeFile(folder / "elsewhere.csv", kStoredLine);
}

INSTANTIATE_TEST_SUITE_P(
    Things, PlantedInTheLogsPlace,
    ::testing::Values(
        PlantedCase{"LinkToAFile",
                    [](const auto &csv, const auto &folder) {
                        plantTarget(folder);
                        std::filesystem::create_symlink(folder / "elsewhere.csv", csv);
                    },
                    kLink},
        PlantedCase{"DanglingLink",
                    [](const auto &csv, const auto &folder) {
                        plantTarget(folder);
                        std::filesystem::create_symlink(folder / "nowhere.csv", csv);
                    },
                    kLink},
        PlantedCase{"Folder",
                    [](const auto &csv, const auto &folder) {
                        plantTarget(folder);
                        std::filesystem::create_directory(csv);
                    },
                    kNotAFile},
        PlantedCase{"Pipe",
                    [](const auto &csv, const auto &folder) {
                        plantTarget(folder);
                        ASSERT_EQ(::mkfifo(csv.c_str(), 0600), 0);
                    },
                    kNotAFile}),
    [](const auto &info) { return std::string(info.param.name); });

// A link to a log that holds a record: the scan must not report that record.
TEST_F(PlantedInTheLogsPlace, ScanDoesNotFollowALinkToALog)
{
    test::writeFile(home.root() / "elsewhere.csv", "RecordNum\r\n" + kStoredLine);
    std::filesystem::create_symlink(home.root() / "elsewhere.csv", csv());
    LogDateTime dt;
    EXPECT_EQ(FindLastLogRecnum(csv(), dt), 0);
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].text,
              "Error scanning log file: 75,Path/File access error: " + csv().string() + kLink);
}

struct LongNameCase
{
    const char *name;
    std::string device;
    bool isShort;
    bool shortened;
};

void PrintTo(const LongNameCase &c, std::ostream *os)
{
    *os << c.name;
}

std::string repeat(std::string_view piece, std::size_t times)
{
    std::string s;
    for (std::size_t i = 0; i < times; ++i)
        s += piece;
    return s;
}

bool isUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

class LongDeviceNames : public test::HomeTest, public ::testing::WithParamInterface<LongNameCase>
{
};

// Every meter can be downloaded, whatever its name: the file name fits the file system, keeps
// its old form when it always fitted, and is cut only between whole characters and escapes.
TEST_P(LongDeviceNames, GiveAFileNameThatFits)
{
    const LongNameCase &c = GetParam();
    home.clock.set(localTimePoint(2026, 6, 1, 12));
    const std::string suffix = c.isShort ? "-log-short-2026.csv" : "-log-full-2026.csv";
    const std::string name = GetLogFilename(c.device, c.isShort);
    EXPECT_LE(name.size(), 255u);
    ASSERT_TRUE(name.ends_with(suffix));
    const std::string part = name.substr(0, name.size() - suffix.size());
    const auto mark = part.find("%~");
    EXPECT_EQ(mark != std::string::npos, c.shortened) << name;
    if (c.shortened) {
        ASSERT_NE(mark, std::string::npos);
        EXPECT_EQ(part.size() - mark, 18u) << "the mark and 16 hexadecimal digits end the name part";
        const std::string kept = part.substr(0, mark);
        EXPECT_TRUE(isUtf8(kept)) << "no character is cut in two";
        for (std::size_t p = kept.find('%'); p != std::string::npos; p = kept.find('%', p + 1))
            EXPECT_LE(p + 3, kept.size()) << "no escape is cut in two";
        EXPECT_GE(name.size(), 250u) << "as much of the name as fits is kept";
    }

    auto file = OpenLogFileForAppend(programFolder() / name);
    ASSERT_TRUE(file) << (home.dialogs.shown().empty() ? "" : home.dialogs.shown()[0].text);
    test::RecordingLogWindow window;
    EXPECT_EQ(storeLogData(test::receivedLog(100, 3, true), *file, true, false, window), StoreResult::Stored);
}

INSTANTIATE_TEST_SUITE_P(
    Names, LongDeviceNames,
    ::testing::Values(LongNameCase{"FitsExactly", std::string(236, 'a'), true, false},
                      LongNameCase{"OneByteOver", std::string(237, 'a'), true, true},
                      LongNameCase{"FullLogFitsExactly", std::string(237, 'a'), false, false},
                      LongNameCase{"Long", std::string(1000, 'M'), false, true},
                      LongNameCase{"EscapesAtTheCut", "a" + std::string(300, '/'), true, true},
                      LongNameCase{"TwoByteCharacters", repeat("\xC3\xA9", 200), true, true},
                      LongNameCase{"FourByteCharacters", "x" + repeat("\xF0\x9F\x94\x8C", 80), false, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(LongDeviceNames, NoTwoDevicesShareAFile)
{
    const std::string base(300, 'm');
    const std::vector<std::string> devices = {
        base + "1", base + "2", "2" + base, base,
        // A device named as another one's shortened file name part.
        GetLogFilename(base, true).substr(0, GetLogFilename(base, true).size() - 19),
        std::string(236, 'a'), std::string(237, 'a'), std::string(236, 'a') + "%",
    };
    std::set<std::string> files;
    for (const auto &d : devices)
        files.insert(GetLogFilename(d, true));
    EXPECT_EQ(files.size(), devices.size());
}

}  // namespace
}  // namespace tellumic
