#pragma once

// The gateway's /metrics endpoint over HTTP, for Prometheus to scrape.

#include <cstdint>
#include <memory>
#include <string>

class QHttpServer;

namespace tellumic::gateway {

class Gateway;

class MetricsServer
{
public:
    explicit MetricsServer(const Gateway &gateway);
    ~MetricsServer();
    MetricsServer(const MetricsServer &) = delete;
    MetricsServer &operator=(const MetricsServer &) = delete;

    // Listens on host ("127.0.0.1", "::1", "0.0.0.0") and port (0: any free one); the port
    // it listens on. RuntimeError when the address is not one or cannot be bound.
    std::uint16_t listen(const std::string &host, std::uint16_t port);

    std::uint64_t scrapes() const { return m_scrapes; }

private:
    const Gateway &m_gateway;
    std::unique_ptr<QHttpServer> m_server;
    std::uint64_t m_scrapes = 0;
};

}  // namespace tellumic::gateway
