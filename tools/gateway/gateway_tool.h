#pragma once

// tellumic-gateway's command line: its arguments, --help and exit statuses.

#include <cstdint>
#include <string>
#include <vector>

#include "gateway/gateway_core.h"
#include "gateway/mqtt_publisher.h"

namespace tellumic::gateway {

extern const char *const kGatewayUsage;

inline constexpr int kExitEnded = 0;        // ended by SIGTERM, SIGINT or SIGHUP
inline constexpr int kExitTargetFailed = 1;  // a target failed: the metrics address, the broker refused
inline constexpr int kExitError = 2;         // the command line, the installation, a network or meter

struct GatewayArgs
{
    GatewayOptions options;
    bool metrics = false;
    std::string metricsHost = "127.0.0.1";
    std::uint16_t metricsPort = 0;
    bool mqtt = false;
    MqttSettings mqttSettings;
    std::string credentialsFile;
};

// A command line that does not say what to do.
struct UsageError
{
    std::string text;
};

bool asksForHelp(const std::vector<std::string> &args);
// UsageError for a bad command line.
GatewayArgs parseGatewayArgs(const std::vector<std::string> &args);

}  // namespace tellumic::gateway
