#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "core/logger.hpp"
#include "core/timer.hpp"
#include "ops/api_gate.hpp"
#include "ops/metrics.hpp"

class CivetServer;

namespace zentu::ops {

class metrics_collector;

// Serves GET /metrics (Prometheus text format) and GET /healthz (200 "ok", or
// 503 with the reason) over HTTP on its own two civetweb threads, so a slow
// or stuck scraper never touches the events loop; with an api gate, also the
// operator's read-only JSON API under /v1/ and the status page at /.
// Threading: built and destroyed on one thread; /metrics and /healthz only
// read the service_metrics atomics, /v1/ waits for the loop through the gate
// (at most its wait, on one of the two threads).
class metrics_server {
public:
    // listen: "host:port" (port 0 picks a free one). Throws
    // libs::core::exception naming the address when it cannot listen.
    metrics_server(const std::string& listen, const service_metrics& metrics,
                   const std::string& version, std::shared_ptr<const api_gate> api = nullptr);
    ~metrics_server();
    metrics_server(const metrics_server&) = delete;
    metrics_server& operator=(const metrics_server&) = delete;

    // The port it listens on.
    int port() const { return m_port; }

private:
    class metrics_handler;
    class health_handler;
    class api_handler;
    class page_handler;

    std::shared_ptr<metrics_collector> m_collector;
    std::unique_ptr<metrics_handler> m_metrics_handler;
    std::unique_ptr<health_handler> m_health_handler;
    std::unique_ptr<api_handler> m_api_handler;
    std::unique_ptr<page_handler> m_page_handler;
    // Declared last: its threads stop before the handlers go.
    std::unique_ptr<CivetServer> m_server;
    int m_port = 0;
};

// The metrics endpoint for as long as the service runs. An address that cannot
// be listened on (a port another process holds) does not stop the service: it
// is logged as an error and tried again every retry period, on a timer of the
// events loop, until it can be; binding takes no time worth speaking of.
//
// Threading: built, used and destroyed on the events-loop thread, whose timers
// it is given.
class metrics_listener {
public:
    static constexpr std::chrono::seconds default_retry_period{5};

    // Tries to listen at once.
    metrics_listener(std::string listen, const service_metrics& metrics, std::string version,
                     libs::core::timers_manager& timers, const libs::core::component_logger& logger,
                     std::chrono::nanoseconds retry_period = default_retry_period,
                     std::shared_ptr<const api_gate> api = nullptr);
    metrics_listener(const metrics_listener&) = delete;
    metrics_listener& operator=(const metrics_listener&) = delete;

    bool listening() const { return m_server != nullptr; }
    // The port it listens on; 0 while it does not.
    int port() const { return m_server ? m_server->port() : 0; }

private:
    void try_listen();

    const std::string m_listen;
    const service_metrics& m_metrics;
    const std::string m_version;
    libs::core::timers_manager& m_timers;
    const libs::core::component_logger& m_logger;
    const std::chrono::nanoseconds m_retry_period;
    const std::shared_ptr<const api_gate> m_api;
    // The failure last logged: the same one is logged once.
    std::string m_failure;
    std::unique_ptr<metrics_server> m_server;
    libs::core::timer::ptr m_retry;
};

}  // namespace zentu::ops
