#pragma once

#include <gtest/gtest.h>
#include <json/value.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>
#include <zmq.hpp>

#include "core/timestamp.hpp"
#include "support/child_process.hpp"
#include "support/redis_server.hpp"

namespace zentu::test {

// Parses JSON text; throws std::runtime_error when it is not JSON.
Json::Value parse_json(const std::string& text);
// Compact text with keys in order: two documents are equal when these are.
std::string canonical(const Json::Value& value);
// When the platform recorded a request ("time" of a /sim/requests entry).
libs::core::timestamp request_time(const Json::Value& request);

// Takes and drops the daemon's log stream, so lines never wait in the
// daemon's socket: queued lines would hold its exit for the socket's linger.
class log_sink {
public:
    log_sink();
    ~log_sink();
    log_sink(const log_sink&) = delete;
    log_sink& operator=(const log_sink&) = delete;

    const std::string& endpoint() const { return m_endpoint; }

private:
    zmq::context_t m_context;
    zmq::socket_t m_socket;
    std::string m_endpoint;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct e2e_options {
    std::string service_binary;
    std::string sim_binary;
    std::string site_file;  // examples/site.json
    bool modify_server_state = true;
    int server_timeout_seconds = 5;
    // Changes the example site before the simulator loads it.
    std::function<void(Json::Value& site)> edit_site;
    // Changes the daemon's configuration before it is written.
    std::function<void(Json::Value& config)> edit_config;
};

// The binaries come from compile definitions of the test executables.
#if defined(MAROVANE_BINARY) && defined(PLATFORM_SIM_BINARY) && defined(MAROVANE_EXAMPLES)
inline e2e_options default_e2e_options() {
    e2e_options options;
    options.service_binary = MAROVANE_BINARY;
    options.sim_binary = PLATFORM_SIM_BINARY;
    options.site_file = std::string(MAROVANE_EXAMPLES) + "/site.json";
    return options;
}
#endif

// The whole system as real processes on loopback ports: a redis-server, the
// platform simulator (examples/site.json with long re-send periods) and the
// marovane daemon, in a private temporary directory removed at the end.
// The simulator and Redis start in the constructor, the daemon in
// start_service(). Not thread-safe.
class e2e_environment {
public:
    using clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds default_timeout{10};

    explicit e2e_environment(e2e_options options);
    ~e2e_environment();

    e2e_environment(const e2e_environment&) = delete;
    e2e_environment& operator=(const e2e_environment&) = delete;

    // Starts the daemon (the previous one, if any, stays as it is).
    child_process& start_service();
    // Waits until the daemon has loaded the platform and follows its message
    // stream: a probe change of an object must reach the Redis mirror.
    void wait_until_running(std::chrono::milliseconds timeout = default_timeout);
    child_process& service() { return *m_service; }
    // Runs another daemon with the same configuration until it exits.
    std::pair<int, std::string> run_second_instance();

    // Control API: POST /sim/<command>; throws unless answered 200.
    Json::Value control(const std::string& command, const Json::Value& body);
    // An object enters or leaves a zone; returns the published "zone_event" message.
    Json::Value enter(const std::string& obj, const std::string& zone, int x, int y, int z);
    Json::Value leave(const std::string& obj, const std::string& zone, int x, int y, int z);
    // Changes nothing but makes the platform announce the object again.
    void touch_object(const std::string& obj);

    // Every request the platform received, in order.
    std::vector<Json::Value> requests();
    // Alarm POSTs received, all or those of one object and zone.
    std::vector<Json::Value> alarm_posts();
    std::vector<Json::Value> alarm_posts(const std::string& obj, const std::string& zone);
    // Waits until at least count alarm POSTs of the pair were received.
    std::vector<Json::Value> wait_for_alarm_posts(
        const std::string& obj, const std::string& zone, std::size_t count,
        std::chrono::milliseconds timeout = default_timeout);
    // The platform's open alarms.
    Json::Value open_alarms();

    // Redis mirror (database 10); empty results while Redis is down.
    std::set<std::string> mirror_set(const std::string& key);
    std::map<std::string, std::string> mirror_hash(const std::string& key);
    // Polls until the condition holds; calls between polls, when given, nudge the service.
    bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
                    const std::function<void()>& between = {});

    redis_server& redis() { return m_redis; }
    const std::string& pid_file() const { return m_pid_file; }
    std::string service_output() const;
    // Writes the tails of the daemon's and the simulator's output to stderr.
    void dump_logs() const;

private:
    std::string write_config() const;

    std::string m_dir;
    e2e_options m_options;
    log_sink m_log_sink;
    redis_server m_redis;
    std::unique_ptr<child_process> m_sim;
    std::string m_sim_url;
    std::string m_pub_endpoint;
    std::string m_pid_file;
    std::string m_config_file;
    std::unique_ptr<child_process> m_service;
    int m_started = 0;
};

// Base of end-to-end test cases: the environment of the case, whose logs are
// shown when the case failed.
class e2e_test : public ::testing::Test {
protected:
    // Starts the platform, Redis and the daemon and waits until it runs.
    test::e2e_environment& start(e2e_options options);
    void TearDown() override;

    std::unique_ptr<e2e_environment> m_env;
};

}  // namespace zentu::test

namespace Json {
// Lets test failures print JSON values as text.
void PrintTo(const Value& value, std::ostream* os);
}  // namespace Json
