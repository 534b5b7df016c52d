#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <memory>
#include <sys/types.h>

#include <gtest/gtest.h>

#include "foundation/clock.h"
#include "foundation/dialogs.h"

namespace tellumic::test {

// A fresh TELLUMIC_HOME for one test, with its program folder, scripted dialogs and a
// manual clock installed as the process's services. Everything is put back afterwards.
class TempHome
{
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome &) = delete;
    TempHome &operator=(const TempHome &) = delete;

    const std::filesystem::path &root() const { return m_root; }
    std::filesystem::path programFolder() const;

    ScriptedDialogs dialogs;
    ManualClock clock;

private:
    std::filesystem::path m_root;
};

// A test fixture holding a TempHome.
class HomeTest : public ::testing::Test
{
protected:
    TempHome home;
};

// Reads a whole file as bytes ("" when missing).
std::string readFile(const std::filesystem::path &path);
void writeFile(const std::filesystem::path &path, std::string_view bytes);

// Starts body in a child process, which exits with 0 when body returns and 3 when it throws.
pid_t startInChild(const std::function<void()> &body);
// Waits for a child process; its exit status (128 when it did not exit, -1 when it cannot be
// waited for).
int waitForChild(pid_t pid);
// Runs body in a child process and returns its exit status (0 when body returned normally).
int runInChild(const std::function<void()> &body);

// What a shell command printed on standard output, and its exit status (-1 when it did not
// exit normally). The command redirects standard error itself where that is wanted.
struct CommandRun
{
    int status = -1;
    std::string out;
};
CommandRun runCommand(const std::string &command);

}  // namespace tellumic::test
