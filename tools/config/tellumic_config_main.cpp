// tellumic-config: meter configurations from the command line, on the LNS installation
// under TELLUMIC_HOME.

#include <iostream>
#include <unistd.h>

#include "sim/installation.h"
#include "sim/sim_object_server.h"
#include "tools/config/config_tool.h"
#include "tools/standard_output.h"

int main(int argc, char **argv)
{
    using namespace tellumic;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (config::asksForHelp(args)) {
        std::cout << config::kConfigUsage;
        return checkedExit("tellumic-config", config::kExitDone, config::kExitError);
    }
    try {
        const auto folder = sim::installedLonWorksFolder();
        sim::SimObjectServer server(folder, sim::installationOptions(folder));
        const config::ServerFactory openServer = [folder]() -> std::unique_ptr<lns::ObjectServer> {
            return std::make_unique<sim::SimObjectServer>(folder, sim::installationOptions(folder));
        };
        const int status =
            config::runConfigTool(args, server, openServer, std::cout, std::cerr, ::isatty(STDOUT_FILENO) != 0);
        return checkedExit("tellumic-config", status, config::kExitError);
    } catch (const std::exception &e) {
        std::cerr << "tellumic-config: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "tellumic-config: an unexpected error\n";
    }
    return config::kExitError;
}
