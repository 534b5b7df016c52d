// A GoogleTest main for window tests over the accessibility bus: each test program gets a
// display of its own (Xvfb: Qt's offscreen platform has no AT-SPI bridge) and a private
// session bus, on which the accessibility bus starts when first asked for. Qt's bridge is
// switched on from the start, as a screen reader's presence would switch it on.
#include <gtest/gtest.h>

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A helper process of this test program that prints one line when it is ready (Xvfb its
// display number, dbus-daemon its address) and ends with the program, even one that crashes.
class Helper
{
public:
    bool start(std::vector<std::string> args, int waitMs)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::dup2(fds[1], 1);
            ::close(fds[0]);
            std::vector<char *> argv;
            for (auto &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        if (m_pid < 0) {
            ::close(fds[0]);
            return false;
        }
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&p, 1, waitMs) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            m_line += c;
        ::close(fds[0]);
        return !m_line.empty() && c == '\n';
    }
    void stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    const std::string &line() const { return m_line; }

private:
    pid_t m_pid = -1;
    std::string m_line;
};

}  // namespace

// Under LeakSanitizer (the sanitizer build): what the X, font and D-Bus libraries and Qt's
// platform and D-Bus plug-ins keep until exit is theirs, not the product's.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig\nleak:libdbus-1\nleak:libxcb\nleak:libX11\nleak:libxkbcommon\n"
           "leak:libglib-2.0\nleak:libgio-2.0\nleak:libQt6XcbQpa\nleak:libQt6DBus\n";
}

int main(int argc, char **argv)
{
    Helper display, bus;
    // gtest_discover_tests lists the tests with this program too: that needs neither.
    const bool listing = argc > 1 && std::string(argv[1]).rfind("--gtest_list_tests", 0) == 0;
    // The accessibility bus puts its socket in the runtime folder (~/.cache without one):
    // each test program has its own, so that programs run side by side keep their buses apart.
    char runtimeDir[] = "/tmp/tellumic-atspi-XXXXXX";
    const bool ownRuntime = !listing && ::mkdtemp(runtimeDir) != nullptr;
    std::error_code removeError;
    if (ownRuntime)
        qputenv("XDG_RUNTIME_DIR", runtimeDir);
    if (!listing) {
        if (!display.start({"Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, 20000) ||
            !bus.start({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, 10000)) {
            std::fprintf(stderr, "No display (Xvfb) or no private session bus (dbus-daemon) for the AT-SPI tests\n");
            display.stop();
            bus.stop();
            if (ownRuntime)
                std::filesystem::remove_all(runtimeDir, removeError);
            return 1;
        }
        qputenv("DISPLAY", QByteArray(":") + QByteArray::fromStdString(display.line()));
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(bus.line()));
        qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        qputenv("QT_ACCESSIBILITY", "1");
        qunsetenv("AT_SPI_BUS_ADDRESS");
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int status = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    bus.stop();
    display.stop();
    if (ownRuntime)
        std::filesystem::remove_all(runtimeDir, removeError);
    return status;
}
