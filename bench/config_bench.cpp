// The dry run of a configuration over a site of 60 logging meters: the built
// tellumic-config on an installation the built lns-sim makes
// (lns-sim init --network Plant --logging-meters 60), each device transaction at the
// installation's default latency. It must finish within 10 s.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace {

int run(const std::string &command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_DryRunSixtyMeters(benchmark::State &state)
{
    const auto home = std::filesystem::temp_directory_path() / ("config-bench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    ::setenv("TELLUMIC_HOME", home.c_str(), 1);
    const std::string file = (home / "plant.json").string();
    if (run(std::string(LNS_SIM) + " init --network Plant --logging-meters 60 >/dev/null") != 0 ||
        run(std::string(LNS_SIM) + " set Plant-Meter-01 nciCtAmps 250 >/dev/null") != 0 ||
        run(std::string(TELLUMIC_CONFIG) + " save Plant Plant-Meter-01 " + file) != 0) {
        state.SkipWithError("cannot set up the site");
        return;
    }
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int status = run(std::string(TELLUMIC_CONFIG) + " apply " + file + " Plant --all --dry-run >/dev/null");
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(seconds.count());
        if (status != 0)
            state.SkipWithError("the dry run failed");
        state.counters["within_10s"] = seconds.count() <= 10.0 ? 1 : 0;
    }
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_DryRunSixtyMeters)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
