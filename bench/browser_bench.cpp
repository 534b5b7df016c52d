// The network browser's start-up on the demo installation: from nothing to the demo
// network's tree painted. Two views of it:
//   BM_WindowToTreePainted  the window made, shown and its tree painted, in this process
//                           (the networks read through the simulated object server);
//   BM_LnsHostProcess       the built lns-host started with no command and closed at once
//                           (--exit-after 0): the program's loading and Qt's start-up, the
//                           read of the installation and the window shown, then its exit.
// The window must show the tree within a second of its start.

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDBusConnection>
#include <QEvent>
#include <QTreeView>

#include "browser/network_browser_window.h"
#include "browser/network_tree_model.h"
#include "sim/installation.h"

extern char **environ;

namespace {

using namespace tellumic;

// The demo installation in a temporary home, made once.
struct DemoHome
{
    DemoHome()
    {
        root = std::filesystem::temp_directory_path() / ("tellumic-browser-bench-" + std::to_string(::getpid()));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        ::setenv("TELLUMIC_HOME", root.c_str(), 1);
        sim::createDemoInstallation(root);
    }
    ~DemoHome() { std::filesystem::remove_all(root); }

    std::filesystem::path root;
};

DemoHome &demoHome()
{
    static DemoHome home;
    return home;
}

// Sees the first paint of a widget.
class PaintSeen : public QObject
{
public:
    bool seen = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            seen = true;
        return QObject::eventFilter(watched, event);
    }
};

void BM_WindowToTreePainted(benchmark::State &state)
{
    demoHome();
    int devices = 0;
    for (auto _ : state) {
        browser::NetworkBrowserWindow window(QDBusConnection(QStringLiteral("none")));
        PaintSeen paint;
        window.tree()->viewport()->installEventFilter(&paint);
        window.show();
        while (!paint.seen)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        const QModelIndex demo = window.model().index(0, 0);
        const QModelIndex meters = window.model().index(0, 0, demo);
        devices = window.model().rowCount(meters);
        if (devices == 0 || !window.tree()->isExpanded(meters))
            state.SkipWithError("the demo network's devices are not shown");
    }
    state.counters["devices"] = devices;
}
BENCHMARK(BM_WindowToTreePainted)->Unit(benchmark::kMillisecond)->Iterations(20);

int runLnsHost()
{
    std::vector<std::string> args = {LNS_HOST, "--exit-after", "0"};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + args[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_LnsHostProcess(benchmark::State &state)
{
    demoHome();
    for (auto _ : state) {
        if (runLnsHost() != 0) {
            state.SkipWithError("lns-host failed");
            break;
        }
    }
}
BENCHMARK(BM_LnsHostProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace

int main(int argc, char **argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
