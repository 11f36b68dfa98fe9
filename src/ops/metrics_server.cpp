#include "ops/metrics_server.hpp"

#include <CivetServer.h>
#include <prometheus/text_serializer.h>

#include <vector>

#include "core/exception.hpp"
#include "ops/metrics_collector.hpp"

namespace zentu::ops {
namespace {

void reply(mg_connection* connection, int status, const char* reason, const char* content_type,
           const std::string& body) {
    mg_printf(connection,
              "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %zu\r\n"
              "Cache-Control: no-store\r\nConnection: close\r\n\r\n",
              status, reason, content_type, body.size());
    mg_write(connection, body.data(), body.size());
}

}  // namespace

class metrics_server::metrics_handler final : public CivetHandler {
public:
    explicit metrics_handler(const metrics_collector& collector) : m_collector(collector) {}

    bool handleGet(CivetServer*, mg_connection* connection) override {
        const prometheus::TextSerializer serializer;
        reply(connection, 200, "OK", "text/plain; version=0.0.4; charset=utf-8",
              serializer.Serialize(m_collector.Collect()));
        return true;
    }

private:
    const metrics_collector& m_collector;
};

class metrics_server::health_handler final : public CivetHandler {
public:
    explicit health_handler(const service_metrics& metrics) : m_metrics(metrics) {}

    bool handleGet(CivetServer*, mg_connection* connection) override {
        const health_report health = m_metrics.health();
        if (health.ok)
            reply(connection, 200, "OK", "text/plain; charset=utf-8", health.reason + "\n");
        else
            reply(connection, 503, "Service Unavailable", "text/plain; charset=utf-8",
                  health.reason + "\n");
        return true;
    }

private:
    const service_metrics& m_metrics;
};

metrics_server::metrics_server(const std::string& listen, const service_metrics& metrics,
                               const std::string& version)
    : m_collector(std::make_shared<metrics_collector>(metrics, version)),
      m_metrics_handler(std::make_unique<metrics_handler>(*m_collector)),
      m_health_handler(std::make_unique<health_handler>(metrics)) {
    const std::vector<std::string> options{
        "listening_ports",    listen,  "num_threads",       "2",
        "request_timeout_ms", "10000", "enable_keep_alive", "no",
    };
    try {
        m_server = std::make_unique<CivetServer>(options);
    } catch (const CivetException& e) {
        ZENTU_THROW("Cannot serve metrics on " + listen + ": " + e.what());
    }
    m_server->addHandler("/metrics", *m_metrics_handler);
    m_server->addHandler("/healthz", *m_health_handler);
    const std::vector<int> ports = m_server->getListeningPorts();
    m_port = ports.empty() ? 0 : ports.front();
}

metrics_server::~metrics_server() {
    m_server.reset();
}

metrics_listener::metrics_listener(std::string listen, const service_metrics& metrics,
                                   std::string version, libs::core::timers_manager& timers,
                                   const libs::core::component_logger& logger,
                                   std::chrono::nanoseconds retry_period)
    : m_listen(std::move(listen)),
      m_metrics(metrics),
      m_version(std::move(version)),
      m_timers(timers),
      m_logger(logger),
      m_retry_period(retry_period) {
    try_listen();
}

void metrics_listener::try_listen() {
    try {
        m_server = std::make_unique<metrics_server>(m_listen, m_metrics, m_version);
    } catch (const libs::core::exception& e) {
        if (e.get_string_error() != m_failure)
            m_logger.error("%1%; trying again every %2% s while the service runs") %
                e.get_string_error() %
                std::chrono::duration_cast<std::chrono::seconds>(m_retry_period).count();
        m_failure = e.get_string_error();
        m_retry = m_timers.create_timer(
            m_retry_period, "metrics listen retry",
            [this](libs::core::timer::time_point) { try_listen(); }, ZENTU_SOURCE_LOCATION());
        return;
    }
    m_logger.info("Serving /metrics and /healthz on %1% (port %2%)") % m_listen % m_server->port();
}

}  // namespace zentu::ops
