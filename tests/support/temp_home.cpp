#include "tests/support/temp_home.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/paths.h"
#include "foundation/trace_log.h"

namespace tellumic::test {

TempHome::TempHome() : clock(localTimePoint(2011, 3, 5, 14, 7, 9))
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tellumic-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    m_root = pattern;
    ::setenv("TELLUMIC_HOME", m_root.c_str(), 1);
    std::filesystem::create_directories(programFolder());
    setDialogs(&dialogs);
    setProcessClock(&clock);
    setProcessTraceLog(nullptr);
}

TempHome::~TempHome()
{
    setProcessTraceLog(nullptr);
    setProcessClock(nullptr);
    setDialogs(nullptr);
    ::unsetenv("TELLUMIC_HOME");
    std::error_code ec;
    std::filesystem::remove_all(m_root, ec);
}

std::filesystem::path TempHome::programFolder() const
{
    return tellumic::programFolder();
}

std::string readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::filesystem::path &path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

pid_t startInChild(const std::function<void()> &body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 0;
        try {
            body();
        } catch (...) {
            code = 3;
        }
        ::_exit(code);
    }
    return pid;
}

int waitForChild(pid_t pid)
{
    int status = 0;
    pid_t waited = 0;
    while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (waited != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

int runInChild(const std::function<void()> &body)
{
    return waitForChild(startInChild(body));
}

CommandRun runCommand(const std::string &command)
{
    CommandRun r;
    FILE *p = ::popen(command.c_str(), "r");
    if (!p)
        return r;
    std::array<char, 4096> buf{};
    while (auto n = std::fread(buf.data(), 1, buf.size(), p))
        r.out.append(buf.data(), n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace tellumic::test
