#pragma once

#include <memory>
#include <string>

#include "ops/metrics.hpp"

class CivetServer;

namespace zentu::ops {

class metrics_collector;

// Serves GET /metrics (Prometheus text format) and GET /healthz (200 "ok", or
// 503 with the reason) over HTTP on its own two civetweb threads, so a slow
// or stuck scraper never touches the events loop. Threading: built and
// destroyed on one thread; requests only read the service_metrics atomics.
class metrics_server {
public:
    // listen: "host:port" (port 0 picks a free one). Throws
    // libs::core::exception naming the address when it cannot listen.
    metrics_server(const std::string& listen, const service_metrics& metrics,
                   const std::string& version);
    ~metrics_server();
    metrics_server(const metrics_server&) = delete;
    metrics_server& operator=(const metrics_server&) = delete;

    // The port it listens on.
    int port() const { return m_port; }

private:
    class metrics_handler;
    class health_handler;

    std::shared_ptr<metrics_collector> m_collector;
    std::unique_ptr<metrics_handler> m_metrics_handler;
    std::unique_ptr<health_handler> m_health_handler;
    // Declared last: its threads stop before the handlers go.
    std::unique_ptr<CivetServer> m_server;
    int m_port = 0;
};

}  // namespace zentu::ops
