#include "tools/gateway/gateway_tool.h"

#include <algorithm>

#include "foundation/text.h"

namespace tellumic::gateway {

const char *const kGatewayUsage = R"(Usage: tellumic-gateway NETWORK... [--meter NAME]... [--mqtt URL] [--metrics HOST:PORT]
                        [--rate SECONDS]

Publishes the live values of the Tellumic meters of the networks (every meter served, or
those named with --meter) until it receives SIGTERM, SIGINT or SIGHUP.

  --meter NAME          only this meter; may be given more than once
  --mqtt URL            publishes to the MQTT broker at mqtt://HOST[:PORT] (1883) or
                        mqtts://HOST[:PORT] (8883, TLS), with Home Assistant discovery
  --mqtt-credentials FILE
                        the broker's user name (first line) and password (second line)
  --mqtt-ca FILE        the CA certificates TLS trusts (default: the system's)
  --metrics HOST:PORT   serves Prometheus' /metrics there; HOST is an IP address, 127.0.0.1
                        when left out (":9470"), and port 0 takes a free port, which the
                        gateway prints
  --rate SECONDS        how often values are taken and availability is checked, 1 to 3600
                        (default 10)
  -h, --help            shows this text

At least one of --mqtt and --metrics is needed.

Exit status: 0 ended by a signal, 1 a target failed (the metrics address cannot be bound,
the broker refused the user name or password), 2 a bad command line, no installation, an
unreadable credentials file, or a network or meter that cannot be watched.
)";

namespace {

void parseMetrics(const std::string &text, GatewayArgs &a)
{
    const auto colon = text.rfind(':');
    if (colon == std::string::npos)
        throw UsageError{"--metrics takes HOST:PORT"};
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const auto port = parseWholeNumber(text.substr(colon + 1), 0, 65535);
    if (!port)
        throw UsageError{"--metrics takes a port from 0 to 65535"};
    a.metrics = true;
    if (!host.empty())
        a.metricsHost = host;
    a.metricsPort = static_cast<std::uint16_t>(*port);
}

const std::string &valueOf(const std::vector<std::string> &args, std::size_t &i)
{
    if (i + 1 >= args.size())
        throw UsageError{args[i] + " takes a value"};
    return args[++i];
}

}  // namespace

bool asksForHelp(const std::vector<std::string> &args)
{
    return std::any_of(args.begin(), args.end(), [](const std::string &a) { return a == "--help" || a == "-h"; });
}

GatewayArgs parseGatewayArgs(const std::vector<std::string> &args)
{
    GatewayArgs a;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "--meter") {
            a.options.meters.push_back(valueOf(args, i));
        } else if (arg == "--metrics") {
            parseMetrics(valueOf(args, i), a);
        } else if (arg == "--mqtt") {
            if (!parseMqttUrl(valueOf(args, i), a.mqttSettings))
                throw UsageError{"--mqtt takes mqtt://HOST[:PORT] or mqtts://HOST[:PORT]"};
            a.mqtt = true;
        } else if (arg == "--mqtt-credentials") {
            a.credentialsFile = valueOf(args, i);
        } else if (arg == "--mqtt-ca") {
            a.mqttSettings.caFile = valueOf(args, i);
        } else if (arg == "--rate") {
            const auto rate = parseWholeNumber(valueOf(args, i), 1, 3600);
            if (!rate)
                throw UsageError{"--rate takes whole seconds from 1 to 3600"};
            a.options.rateSeconds = static_cast<int>(*rate);
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError{"unknown option " + arg};
        } else {
            a.options.networks.push_back(arg);
        }
    }
    if (a.options.networks.empty())
        throw UsageError{"name at least one NETWORK"};
    if (!a.metrics && !a.mqtt)
        throw UsageError{"nothing to publish: give --mqtt URL or --metrics HOST:PORT"};
    if (!a.mqtt && (!a.credentialsFile.empty() || !a.mqttSettings.caFile.empty()))
        throw UsageError{"--mqtt-credentials and --mqtt-ca go with --mqtt"};
    return a;
}

}  // namespace tellumic::gateway
