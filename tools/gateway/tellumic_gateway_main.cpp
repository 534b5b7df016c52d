// tellumic-gateway: the live values of a network's meters for monitoring systems, on the
// LNS installation under TELLUMIC_HOME. No window; it runs until a signal ends it.

#include <iostream>

#include <QCoreApplication>
#include <QTimer>

#include "gateway/gateway_core.h"
#include "gateway/metrics_server.h"
#include "sim/installation.h"
#include "sim/sim_object_server.h"
#include "tools/config/stop_signals.h"
#include "tools/gateway/gateway_tool.h"
#include "tools/standard_output.h"

namespace {

using namespace tellumic;
using namespace tellumic::gateway;

constexpr int kSignalPollMs = 100;

// Watches the meters and serves them until a signal; the exit status.
int serve(const GatewayArgs &a, QCoreApplication &app)
{
    const auto folder = sim::installedLonWorksFolder();
    sim::SimObjectServer server(folder, sim::installationOptions(folder));
    Gateway gateway(server, a.options);
    try {
        gateway.start();
    } catch (const RuntimeError &e) {
        std::cerr << "tellumic-gateway: " << e.description() << "\n";
        return kExitError;
    }
    MetricsServer metrics(gateway);
    std::uint16_t port = 0;
    try {
        port = metrics.listen(a.metricsHost, a.metricsPort);
    } catch (const RuntimeError &e) {
        std::cerr << "tellumic-gateway: " << e.description() << "\n";
        return kExitTargetFailed;
    }
    const bool v6 = a.metricsHost.find(':') != std::string::npos;
    std::cout << "tellumic-gateway: " << gateway.meters().size() << " meter(s); /metrics on http://"
              << (v6 ? "[" + a.metricsHost + "]" : a.metricsHost) << ":" << port << "/metrics" << std::endl;
    gateway.dispatch();
    gateway.checkMeters();
    gateway.startTimers();
    config::StopSignals signals;
    QTimer signalWatch;
    QObject::connect(&signalWatch, &QTimer::timeout, [&app] {
        if (config::StopSignals::received() != 0)
            app.quit();
    });
    signalWatch.start(kSignalPollMs);
    app.exec();
    gateway.stop();
    std::cerr << "tellumic-gateway: " << config::signalName(config::StopSignals::received()) << ", ended\n";
    return kExitEnded;
}

}  // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (asksForHelp(args)) {
        std::cout << kGatewayUsage;
        return checkedExit("tellumic-gateway", kExitEnded, kExitError);
    }
    GatewayArgs a;
    try {
        a = parseGatewayArgs(args);
    } catch (const UsageError &e) {
        std::cerr << "tellumic-gateway: " << e.text << "; see 'tellumic-gateway --help'.\n";
        return kExitError;
    }
    try {
        QCoreApplication app(argc, argv);
        return checkedExit("tellumic-gateway", serve(a, app), kExitError);
    } catch (const std::exception &e) {
        std::cerr << "tellumic-gateway: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "tellumic-gateway: an unexpected error\n";
    }
    return kExitError;
}
