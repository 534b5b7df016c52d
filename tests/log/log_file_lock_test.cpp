// One writer at a time: a CSV log is appended to only under its lock file, and a lock goes
// with its holder, however the holder ends.

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <sstream>

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

    // A log's first line (the file is opened again below, which only a log may be).
    first->append({logCsvHeader(true), "\r\n"});
    first->close();
    EXPECT_FALSE(std::filesystem::exists(logLockPath(csv()))) << "the lock file goes with the lock";
    auto second = LogCsvFile::open(csv());
    ASSERT_TRUE(second);
    second->close();
    EXPECT_EQ(test::readFile(csv()), std::string(logCsvHeader(true)) + "\r\n");
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

// Who takes a lock in the contention test, through the call a download makes.
struct Contended
{
    std::string name;
    std::function<std::shared_ptr<void>()> take;  // nullptr: busy
};

void PrintTo(const Contended &c, std::ostream *os)
{
    *os << c.name;
}

class LockContention : public LogFileLockTest, public ::testing::WithParamInterface<Contended>
{
};

// Several processes take and release one lock as fast as they can. Each holder marks its
// hold with a file that only one can create at a time, so a second holder is caught at once,
// also when it got in while the one before released the lock and removed its file.
TEST_P(LockContention, NeverHasTwoHolders)
{
    constexpr int kProcesses = 4;
    constexpr int kHolds = 400;  // each taker's
    constexpr int kMostTries = 2'000'000;
    const auto mark = home.root() / "held-by";
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    std::vector<pid_t> takers;
    for (int p = 0; p < kProcesses; ++p) {
        takers.push_back(test::startInChild([&, p] {
            ::close(go[1]);
            char c;
            if (::read(go[0], &c, 1) != 0)  // everyone starts when the pipe is closed
                ::_exit(4);
            int held = 0, busy = 0;
            while (held < kHolds && held + busy < kMostTries) {
                std::shared_ptr<void> lock;
                try {
                    lock = GetParam().take();
                } catch (const LogBusyError &) {
                }
                if (!lock) {
                    ++busy;
                    ::sched_yield();  // let the holder go on
                    continue;
                }
                const int fd = ::open(mark.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                if (fd < 0)
                    ::_exit(errno == EEXIST ? 9 : 5);
                ::close(fd);
                ++held;
                for (int spin = 0; spin < 3; ++spin)
                    ::sched_yield();
                ::unlink(mark.c_str());
                lock.reset();
            }
            test::writeFile(home.root() / ("taker-" + std::to_string(p)),
                            std::to_string(held) + " " + std::to_string(busy));
        }));
    }
    ::close(go[0]);
    ::close(go[1]);
    int held = 0, busy = 0;
    for (int p = 0; p < kProcesses; ++p) {
        EXPECT_EQ(test::waitForChild(takers[static_cast<std::size_t>(p)]), 0) << "9: two holders at once";
        std::istringstream counts(test::readFile(home.root() / ("taker-" + std::to_string(p))));
        int h = 0, b = 0;
        counts >> h >> b;
        EXPECT_EQ(h, kHolds) << "taker " << p;
        held += h;
        busy += b;
    }
    EXPECT_GT(busy, 0) << "the takers never met";
    EXPECT_EQ(held, kProcesses * kHolds);
    EXPECT_FALSE(std::filesystem::exists(mark));
}

INSTANTIATE_TEST_SUITE_P(
    Locks, LockContention,
    ::testing::Values(Contended{"LogFile",
                                [] {
                                    return std::shared_ptr<void>(
                                        takeLogFileLock(programFolder() / GetLogFilename("Meter1", false)));
                                }},
                      Contended{"Meter",
                                [] {
                                    return std::shared_ptr<void>(
                                        FileLock::tryAcquire(meterDownloadLockPath("04A2B3C4D5E6")));
                                }}),
    [](const auto &info) { return info.param.name; });

}  // namespace
}  // namespace tellumic
