#include <algorithm>
#include <boost/asio/ip/address.hpp>
#include <condition_variable>
#include <thread>

#include "core/json.hpp"
#include "platform-sim/http_server.hpp"
#include "platform-sim/simulator.hpp"

namespace zentu::platform_sim {

std::pair<std::string, std::uint16_t> split_host_port(const std::string& address) {
    const auto colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == address.size())
        throw request_error(400, "\"" + address + "\" is not host:port");
    auto host = address.substr(0, colon);
    if (host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const auto port_text = address.substr(colon + 1);
    if (port_text.find_first_not_of("0123456789") != std::string::npos || port_text.size() > 5 ||
        std::stoul(port_text) > 65535)
        throw request_error(400, "\"" + address + "\" has no valid port");
    return {host, static_cast<std::uint16_t>(std::stoul(port_text))};
}

bool is_loopback_host(const std::string& host) {
    if (host == "localhost")
        return true;
    boost::system::error_code ec;
    const auto address = boost::asio::ip::make_address(host, ec);
    return !ec && address.is_loopback();
}

bool is_loopback_endpoint(const std::string& endpoint) {
    if (endpoint.rfind("ipc://", 0) == 0 || endpoint.rfind("inproc://", 0) == 0)
        return true;
    const std::string tcp = "tcp://";
    if (endpoint.rfind(tcp, 0) != 0)
        return false;
    try {
        return is_loopback_host(split_host_port(endpoint.substr(tcp.size())).first);
    } catch (const request_error&) {
        return false;
    }
}

namespace {

// Timed command lists; each runs on a thread of its own until done or stopped.
class scenario_runner {
public:
    explicit scenario_runner(control_api& control, sim_log& log) : m_control(control), m_log(log) {}
    ~scenario_runner() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (auto& thread : m_threads)
            thread.join();
    }

    void run(const Json::Value& steps) {
        if (!steps.isArray())
            throw request_error(400, "the scenario is not a JSON array");
        std::vector<Json::Value> ordered;
        for (const auto& step : steps) {
            if (!step.isObject() || !step["cmd"].isString() || !step["at_ms"].isUInt())
                throw request_error(400, "a scenario step needs \"at_ms\" and \"cmd\": " +
                                             libs::core::json::to_string(step));
            ordered.push_back(step);
        }
        std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
            return a["at_ms"].asUInt() < b["at_ms"].asUInt();
        });
        std::lock_guard<std::mutex> lock(m_mutex);
        m_threads.emplace_back([this, ordered = std::move(ordered)] { play(ordered); });
    }

private:
    void play(const std::vector<Json::Value>& steps) {
        const auto start = std::chrono::steady_clock::now();
        for (auto step : steps) {
            const auto due = start + std::chrono::milliseconds(step["at_ms"].asUInt());
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                if (m_wake.wait_until(lock, due, [this] { return m_stopping; }))
                    return;
            }
            const auto cmd = step["cmd"].asString();
            step.removeMember("cmd");
            step.removeMember("at_ms");
            try {
                m_control.run(cmd, step);
                m_log.line("scenario: " + cmd + " " + libs::core::json::to_string(step));
            } catch (const std::exception& e) {
                m_log.line("scenario: " + cmd + " failed: " + e.what());
            }
        }
        m_log.line("scenario: done");
    }

    control_api& m_control;
    sim_log& m_log;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

class simulator_impl final : public simulator {
public:
    explicit simulator_impl(const options& o)
        : m_log(o.log),
          m_site(site::create(o.site_document)),
          m_publisher(publisher::create(checked_endpoint(o), m_log)),
          m_journal(journal::create(o.requests_log, m_log)),
          m_faults(faults::create()),
          m_commands(commands::create(*m_site, *m_publisher)),
          m_generator(generator::create(*m_site, *m_commands, m_log)),
          m_control(control_api::create(
              {*m_site, *m_commands, *m_faults, *m_journal, *m_generator, *m_publisher, m_log})),
          m_platform(platform_api::create(*m_site, *m_journal, m_log)),
          m_scenarios(*m_control, m_log) {
        const auto [host, port] = split_host_port(o.http_address);
        if (!o.allow_nonlocal && !is_loopback_host(host))
            throw request_error(
                400, "refusing to listen on non-loopback " + host + " without --allow-nonlocal");
        m_server =
            http_server::create(host, port, *m_platform, *m_control, *m_faults, *m_journal, m_log);
    }

    ~simulator_impl() override { m_generator->stop(); }

    std::string http_address() const override {
        const auto host = m_server->host();
        const auto shown = host.find(':') == std::string::npos ? host : "[" + host + "]";
        return shown + ":" + std::to_string(m_server->port());
    }
    std::uint16_t http_port() const override { return m_server->port(); }
    std::string pub_endpoint() const override { return m_publisher->endpoint(); }
    control_api& control() override { return *m_control; }
    site& get_site() override { return *m_site; }
    void run_scenario(const Json::Value& steps) override { m_scenarios.run(steps); }

private:
    static std::string checked_endpoint(const options& o) {
        if (!o.allow_nonlocal && !is_loopback_endpoint(o.pub_endpoint))
            throw request_error(400, "refusing to publish on non-loopback " + o.pub_endpoint +
                                         " without --allow-nonlocal");
        return o.pub_endpoint;
    }

    sim_log m_log;
    site::ptr m_site;
    publisher::ptr m_publisher;
    journal::ptr m_journal;
    faults::ptr m_faults;
    commands::ptr m_commands;
    generator::ptr m_generator;
    control_api::ptr m_control;
    platform_api::ptr m_platform;
    scenario_runner m_scenarios;
    http_server::ptr m_server;
};

}  // namespace

simulator::ptr simulator::create(const options& options) {
    return std::make_unique<simulator_impl>(options);
}

}  // namespace zentu::platform_sim
