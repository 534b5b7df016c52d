// The nightly harvest of a site of 60 logging meters, as the timer runs it: the built
// tellumic-log harvest on an installation that the built lns-sim makes
// (lns-sim init --network Plant --logging-meters 60), with the log transfers sped up by the
// benchmark's argument (lns-sim transfer-speed). The channel is the limit, so the harvest
// must keep it busy and itself idle:
//   channel_utilisation = bytes received / (elapsed time x the channel's byte rate)
//   cpu_share           = CPU time of the harvest's processes / elapsed time
// The byte rate is that of the record format at the speed factor (4.6 long records of 86
// bytes, or 14.5 short records of 24 bytes, per second); only the records count as bytes
// moved, not the requests and log information around them, nor the device transactions'
// latency, which the installation keeps at the demo's 15 ms. Each meter's records come in
// requests of at most kHarvestChunkRecords (chunk_records); the requests' cost is in the
// utilisation.

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

extern char **environ;

namespace {

constexpr int kMeters = 60;
constexpr int kChunkRecords = 512;  // the harvest's kHarvestChunkRecords

// Runs a program with arguments; its standard output goes to outFile. Returns its exit
// status and, through usage, the CPU time of it and the children it waited for.
int runProgram(const std::vector<std::string> &args, const std::string &outFile, rusage *usage = nullptr)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (outFile + ".err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char *> argv;
    std::vector<std::string> copy = args;
    for (auto &a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + args[0]);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage ru{};
    ::wait4(pid, &status, 0, &ru);
    if (usage)
        *usage = ru;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double seconds(const timeval &t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// The sum of the "bytes" fields and the number of harvested meters in --json output.
std::pair<long long, int> harvested(const std::string &jsonLines)
{
    long long bytes = 0;
    int meters = 0;
    std::istringstream in(jsonLines);
    for (std::string line; std::getline(in, line);) {
        const auto at = line.find("\"bytes\":");
        if (at != std::string::npos)
            bytes += std::stoll(line.substr(at + 8));
        meters += line.find("\"outcome\":\"harvested\"") != std::string::npos ? 1 : 0;
    }
    return {bytes, meters};
}

void BM_HarvestSite(benchmark::State &state)
{
    const auto factor = state.range(0);
    const bool isShort = state.range(1) != 0;
    const double recordsPerSecond = isShort ? 14.5 : 4.6;
    const double byteRate = recordsPerSecond * (isShort ? 24 : 86) * static_cast<double>(factor);
    for (auto _ : state) {
        std::string pattern = (std::filesystem::temp_directory_path() / "tellumic-harvest-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder");
        const std::filesystem::path home = pattern;
        ::setenv("TELLUMIC_HOME", home.c_str(), 1);
        const std::string out = (home / "harvest.json").string();
        if (runProgram({LNS_SIM, "init", "--network", "Plant", "--logging-meters", std::to_string(kMeters)}, out) != 0 ||
            runProgram({LNS_SIM, "transfer-speed", std::to_string(factor)}, out) != 0) {
            state.SkipWithError("lns-sim could not make the site");
            return;
        }
        std::vector<std::string> harvest{TELLUMIC_LOG, "harvest", "Plant", "--json"};
        if (isShort)
            harvest.push_back("--short");
        rusage usage{};
        const auto start = std::chrono::steady_clock::now();
        const int status = runProgram(harvest, out, &usage);
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::ifstream json(out);
        const auto [bytes, meters] = harvested(std::string(std::istreambuf_iterator<char>(json), {}));
        if (status != 0 || meters != kMeters)
            state.SkipWithError("the harvest did not harvest every meter");
        const double cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
        state.SetIterationTime(elapsed);
        state.counters["speed_factor"] = static_cast<double>(factor);
        state.counters["chunk_records"] = kChunkRecords;
        state.counters["meters"] = meters;
        state.counters["bytes"] = static_cast<double>(bytes);
        state.counters["elapsed_s"] = elapsed;
        state.counters["cpu_s"] = cpu;
        state.counters["channel_utilisation"] = static_cast<double>(bytes) / (elapsed * byteRate);
        state.counters["cpu_share"] = cpu / elapsed;
        std::error_code ec;
        std::filesystem::remove_all(home, ec);
    }
}
BENCHMARK(BM_HarvestSite)
    ->ArgNames({"speed", "short"})
    ->Args({100, 0})
    ->Args({40, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
