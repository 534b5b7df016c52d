// One writer at a time: a CSV log is appended to only under its lock file, and a lock goes
// with its holder, however the holder ends.

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "foundation/paths.h"
#include "log/log_csv.h"
#include "log/log_file.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

class LogFileLockTest : public test::HomeTest
{
protected:
    std::filesystem::path csv() const { return programFolder() / GetLogFilename("Meter1", true); }
};

TEST_F(LogFileLockTest, SecondWriterFindsTheLogBusyUntilTheFirstIsClosed)
{
    auto first = LogCsvFile::open(csv());
    ASSERT_TRUE(first);
    EXPECT_THROW(LogCsvFile::open(csv()), LogBusyError);
    EXPECT_EQ(test::runInChild([&] {
                  try {
                      LogCsvFile::open(csv());
                  } catch (const LogBusyError &) {
                      ::_exit(7);
                  }
              }),
              7)
        << "another process finds it busy too";

    // The Logging tab tells the user, as for a log another program keeps open.
    EXPECT_FALSE(OpenLogFileForAppend(csv()));
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].caption, "Error writing log file");
    EXPECT_EQ(home.dialogs.shown()[0].text,
              "Error opening file for writing: Permission denied: " + csv().filename().string() +
                  " is busy: another download (process " + std::to_string(::getpid()) +
                  ") is appending to it\r\nThis can happen if you have the log CSV file\r\n open in another "
                  "application such as Excel");

    first->append({"a\r\n"});
    first->close();
    EXPECT_FALSE(std::filesystem::exists(logLockPath(csv()))) << "the lock file goes with the lock";
    auto second = LogCsvFile::open(csv());
    ASSERT_TRUE(second);
    second->close();
    EXPECT_EQ(test::readFile(csv()), "a\r\n");
}

TEST_F(LogFileLockTest, LockOfAKilledHolderIsFree)
{
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        auto held = LogCsvFile::open(csv());
        const char c = 'x';
        if (::write(ready[1], &c, 1) != 1)
            ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_THROW(LogCsvFile::open(csv()), LogBusyError);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_TRUE(std::filesystem::exists(logLockPath(csv()))) << "a killed holder leaves its file behind";
    EXPECT_TRUE(LogCsvFile::open(csv())) << "but not its lock";
    ::close(ready[0]);
    ::close(ready[1]);
}

// A link in the lock file's place is not followed: whatever it points at stays as it was.
TEST_F(LogFileLockTest, LinkInTheLockFilesPlaceIsRefused)
{
    const auto victim = home.root() / "victim.txt";
    test::writeFile(victim, "keep me");
    std::filesystem::create_symlink(victim, logLockPath(csv()));
    try {
        LogCsvFile::open(csv());
        FAIL() << "opened through a link";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), ErrorNumber::kPathFileAccess);
        EXPECT_NE(e.description().find("is a symbolic link"), std::string::npos) << e.description();
    }
    EXPECT_EQ(test::readFile(victim), "keep me");
    EXPECT_FALSE(std::filesystem::exists(csv()));
}

// Long device names give log names of up to 255 bytes; their lock files fit as well and
// stay apart.
TEST_F(LogFileLockTest, LockFileNamesOfLongLogsFitAndDiffer)
{
    const std::string a = GetLogFilename(std::string(300, 'x') + "a", false);
    const std::string b = GetLogFilename(std::string(300, 'x') + "b", false);
    ASSERT_EQ(a.size(), 255u);
    const auto lockA = logLockPath(programFolder() / a), lockB = logLockPath(programFolder() / b);
    EXPECT_LE(lockA.filename().string().size(), 255u);
    EXPECT_NE(lockA, lockB);
    auto held = LogCsvFile::open(programFolder() / a);
    ASSERT_TRUE(held);
    EXPECT_TRUE(std::filesystem::exists(lockA));
    EXPECT_TRUE(LogCsvFile::open(programFolder() / b));
}

}  // namespace
}  // namespace tellumic
