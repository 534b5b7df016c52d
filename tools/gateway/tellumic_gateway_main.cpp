// tellumic-gateway: the live values of a network's meters for monitoring systems, on the
// LNS installation under TELLUMIC_HOME. No window; it runs until a signal ends it.

#include <chrono>
#include <iostream>
#include <memory>

#include <QCoreApplication>
#include <QTimer>

#include "gateway/gateway_core.h"
#include "foundation/plugin_state.h"
#include "gateway/metrics_server.h"
#include "gateway/mqtt_publisher.h"
#include "sim/installation.h"
#include "sim/sim_object_server.h"
#include "tools/config/stop_signals.h"
#include "tools/gateway/gateway_tool.h"
#include "tools/standard_output.h"

namespace {

using namespace tellumic;
using namespace tellumic::gateway;

constexpr int kSignalPollMs = 100;

constexpr auto kOfflineTimeout = std::chrono::seconds(2);

int fail(const std::string &text, int status)
{
    std::cerr << "tellumic-gateway: " << text << "\n";
    return status;
}

// Runs the event loop until a signal or a refusing broker; the exit status.
int runLoop(QCoreApplication &app, Gateway &gateway, MqttPublisher *mqtt)
{
    int status = kExitEnded;
    if (mqtt) {
        mqtt->setOnRefused([&](const std::string &text) {
            std::cerr << "tellumic-gateway: " << text << "\n";
            status = kExitTargetFailed;
            app.quit();
        });
        mqtt->start();
    }
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
    if (mqtt)
        mqtt->finish(kOfflineTimeout);
    if (status == kExitEnded)
        std::cerr << "tellumic-gateway: " << config::signalName(config::StopSignals::received()) << ", ended\n";
    return status;
}

// Watches the meters and serves them until a signal; the exit status.
int serve(GatewayArgs a, QCoreApplication &app)
{
    if (!a.credentialsFile.empty()) {
        try {
            readCredentials(a.credentialsFile, a.mqttSettings);
        } catch (const RuntimeError &e) {
            return fail(e.description(), kExitError);
        }
    }
    a.mqttSettings.gatewayVersion = kPlugInVersion;
    const auto folder = sim::installedLonWorksFolder();
    sim::SimObjectServer server(folder, sim::installationOptions(folder));
    Gateway gateway(server, a.options);
    std::unique_ptr<MqttPublisher> mqtt;
    if (a.mqtt) {
        mqtt = std::make_unique<MqttPublisher>(gateway, a.mqttSettings);
        gateway.setListener(mqtt.get());
    }
    try {
        gateway.start();
    } catch (const RuntimeError &e) {
        return fail(e.description(), kExitError);
    }
    MetricsServer metrics(gateway);
    std::string where;
    if (a.metrics) {
        try {
            const auto port = metrics.listen(a.metricsHost, a.metricsPort);
            const bool v6 = a.metricsHost.find(':') != std::string::npos;
            where = "; /metrics on http://" + (v6 ? "[" + a.metricsHost + "]" : a.metricsHost) + ":" +
                    std::to_string(port) + "/metrics";
        } catch (const RuntimeError &e) {
            return fail(e.description(), kExitTargetFailed);
        }
    }
    if (a.mqtt)
        where += "; MQTT to " + a.mqttSettings.host + ":" + std::to_string(a.mqttSettings.port);
    std::cout << "tellumic-gateway: " << gateway.meters().size() << " meter(s)" << where << std::endl;
    return runLoop(app, gateway, mqtt.get());
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
