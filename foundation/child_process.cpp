#include "foundation/child_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "foundation/ui_pump.h"

extern char **environ;

namespace tellumic {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr auto kTerminateGrace = std::chrono::milliseconds(2000);

std::vector<pid_t> &runningChildren()
{
    static std::vector<pid_t> children;
    return children;
}

// Keeps a child on the list for as long as it may be running.
class ListedChild
{
public:
    explicit ListedChild(pid_t pid) : m_pid(pid) { runningChildren().push_back(pid); }
    ~ListedChild()
    {
        auto &children = runningChildren();
        children.erase(std::remove(children.begin(), children.end(), m_pid), children.end());
    }
    ListedChild(const ListedChild &) = delete;
    ListedChild &operator=(const ListedChild &) = delete;

private:
    pid_t m_pid;
};

}  // namespace

int runChildAndWait(const std::string &program, const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    ListedChild listed(pid);
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (r < 0 && errno != EINTR)
            return -1;
        keepUiAlive();
        std::this_thread::sleep_for(kPollInterval);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void terminateChildProcesses()
{
    auto &children = runningChildren();
    for (const pid_t pid : children)
        ::kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kTerminateGrace;
    auto alive = children;
    while (!alive.empty() && std::chrono::steady_clock::now() < deadline) {
        alive.erase(std::remove_if(alive.begin(), alive.end(), [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; }),
                    alive.end());
        if (!alive.empty())
            std::this_thread::sleep_for(kPollInterval);
    }
    for (const pid_t pid : alive) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    children.clear();
}

void endProcessNow(int exitCode)
{
    terminateChildProcesses();
    std::fflush(nullptr);
    ::_exit(exitCode);
}

}  // namespace tellumic
