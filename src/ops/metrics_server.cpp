#include "ops/metrics_server.hpp"

#include <CivetServer.h>
#include <prometheus/text_serializer.h>

#include <map>
#include <string_view>
#include <vector>

#include "core/exception.hpp"
#include "ops/metrics_collector.hpp"
#include "ops/status_page.hpp"

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

const char* reason_of(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 503:
            return "Service Unavailable";
        default:
            return status < 500 ? "Error" : "Internal Server Error";
    }
}

void reply(mg_connection* connection, const api_answer& answer) {
    reply(connection, answer.status, reason_of(answer.status), "application/json; charset=utf-8",
          answer.body);
}

std::string url_decoded(std::string_view text) {
    std::string out(text.size() + 1, '\0');
    const int n = mg_url_decode(text.data(), static_cast<int>(text.size()), out.data(),
                                static_cast<int>(out.size()), 1);
    out.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return out;
}

// "a=1&b=x%20y" into its decoded fields; a field without "=" is empty.
std::map<std::string, std::string> query_fields(const char* query) {
    std::map<std::string, std::string> out;
    std::string_view rest = query ? query : "";
    while (!rest.empty()) {
        const auto end = rest.find('&');
        const auto field = rest.substr(0, end);
        const auto equals = field.find('=');
        if (!field.empty())
            out[url_decoded(field.substr(0, equals))] = equals == std::string_view::npos
                                                            ? std::string()
                                                            : url_decoded(field.substr(equals + 1));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    return out;
}

// Every method but GET is refused: what is served here only reads.
class read_only_handler : public CivetHandler {
public:
    bool handlePost(CivetServer*, mg_connection* c) override { return refuse(c); }
    bool handlePut(CivetServer*, mg_connection* c) override { return refuse(c); }
    bool handleDelete(CivetServer*, mg_connection* c) override { return refuse(c); }
    bool handlePatch(CivetServer*, mg_connection* c) override { return refuse(c); }
    bool handleOptions(CivetServer*, mg_connection* c) override { return refuse(c); }

private:
    static bool refuse(mg_connection* connection) {
        const mg_request_info* info = mg_get_request_info(connection);
        reply(connection, api_gate::error(405, std::string(info->request_method) +
                                                   " is not allowed: the API only reads (GET)"));
        return true;
    }
};

}  // namespace

class metrics_server::api_handler final : public read_only_handler {
public:
    explicit api_handler(std::shared_ptr<const api_gate> gate) : m_gate(std::move(gate)) {}

    bool handleGet(CivetServer*, mg_connection* connection) override {
        const mg_request_info* info = mg_get_request_info(connection);
        reply(connection, m_gate->ask({info->local_uri ? info->local_uri : "",
                                       query_fields(info->query_string)}));
        return true;
    }

private:
    const std::shared_ptr<const api_gate> m_gate;
};

class metrics_server::page_handler final : public read_only_handler {
public:
    bool handleGet(CivetServer*, mg_connection* connection) override {
        const mg_request_info* info = mg_get_request_info(connection);
        if (!info->local_uri || std::string_view(info->local_uri) != "/") {
            reply(connection, api_gate::error(404,
                                              "nothing here: the status page is at /, the "
                                              "API under /v1/"));
            return true;
        }
        reply(connection, 200, "OK", "text/html; charset=utf-8", std::string(status_page_html()));
        return true;
    }
};

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
                               const std::string& version, std::shared_ptr<const api_gate> api)
    : m_collector(std::make_shared<metrics_collector>(metrics, version)),
      m_metrics_handler(std::make_unique<metrics_handler>(*m_collector)),
      m_health_handler(std::make_unique<health_handler>(metrics)) {
    if (api) {
        m_api_handler = std::make_unique<api_handler>(std::move(api));
        m_page_handler = std::make_unique<page_handler>();
    }
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
    if (m_api_handler) {
        m_server->addHandler("/v1", *m_api_handler);
        m_server->addHandler("/", *m_page_handler);
    }
    const std::vector<int> ports = m_server->getListeningPorts();
    m_port = ports.empty() ? 0 : ports.front();
}

metrics_server::~metrics_server() {
    m_server.reset();
}

metrics_listener::metrics_listener(std::string listen, const service_metrics& metrics,
                                   std::string version, libs::core::timers_manager& timers,
                                   const libs::core::component_logger& logger,
                                   std::chrono::nanoseconds retry_period,
                                   std::shared_ptr<const api_gate> api)
    : m_listen(std::move(listen)),
      m_metrics(metrics),
      m_version(std::move(version)),
      m_timers(timers),
      m_logger(logger),
      m_retry_period(retry_period),
      m_api(std::move(api)) {
    try_listen();
}

void metrics_listener::try_listen() {
    try {
        m_server = std::make_unique<metrics_server>(m_listen, m_metrics, m_version, m_api);
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
    m_logger.info("Serving /metrics and /healthz%1% on %2% (port %3%)") %
        (m_api ? ", the API under /v1/ and the status page at /" : "") % m_listen %
        m_server->port();
}

}  // namespace zentu::ops
