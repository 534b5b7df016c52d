#include "gateway/metrics_server.h"

#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerResponse>

#include "foundation/runtime_error.h"
#include "gateway/metrics_text.h"

namespace tellumic::gateway {

namespace {

// "Invalid procedure call or argument".
constexpr std::int32_t kInvalidCall = 5;

}  // namespace

MetricsServer::MetricsServer(const Gateway &gateway) : m_gateway(gateway), m_server(std::make_unique<QHttpServer>())
{
    m_server->route("/metrics", [this] {
        try {
            ++m_scrapes;
            return QHttpServerResponse("text/plain; version=0.0.4; charset=utf-8",
                                       QByteArray::fromStdString(metricsText(m_gateway)));
        } catch (const std::exception &) {
            return QHttpServerResponse(QHttpServerResponse::StatusCode::InternalServerError);
        }
    });
}

MetricsServer::~MetricsServer() = default;

std::uint16_t MetricsServer::listen(const std::string &host, std::uint16_t port)
{
    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(host)))
        throw RuntimeError(kInvalidCall, "'" + host + "' is not an IP address to listen on");
    const quint16 bound = m_server->listen(address, port);
    if (bound == 0)
        throw RuntimeError(kInvalidCall,
                           "cannot listen on " + host + ":" + std::to_string(port) + " for /metrics");
    return bound;
}

}  // namespace tellumic::gateway
