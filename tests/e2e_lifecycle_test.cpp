// Start, stop and refusal of the daemon as a real process next to the
// platform simulator and Redis.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "core/json.hpp"
#include "support/e2e_fixture.hpp"

namespace zentu {
namespace {

using namespace std::chrono_literals;
using clock = std::chrono::steady_clock;

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class e2e_lifecycle_test : public test::e2e_test {};

TEST_F(e2e_lifecycle_test, second_instance_is_refused_and_sigterm_stops_cleanly) {
    auto& env = start(test::default_e2e_options());
    const std::string pid = std::to_string(env.service().pid());
    EXPECT_EQ(read_file(env.pid_file()), pid);

    const auto [status, output] = env.run_second_instance();
    EXPECT_EQ(status, 1);
    EXPECT_NE(output.find("Process is running"), std::string::npos) << output;
    EXPECT_EQ(read_file(env.pid_file()), pid);
    EXPECT_TRUE(env.service().running());

    env.service().signal(SIGTERM);
    EXPECT_EQ(env.service().wait(10s), 0);
    EXPECT_TRUE(env.service().wait_for_output(" exit", 0ms)) << env.service_output();
    // The pid file outlives the process.
    EXPECT_EQ(read_file(env.pid_file()), pid);
}

TEST_F(e2e_lifecycle_test, object_lists_failing_at_start_are_fetched_again_after_five_seconds) {
    m_env = std::make_unique<test::e2e_environment>(test::default_e2e_options());
    auto& env = *m_env;
    env.control("fail", test::parse_json(R"({"path": "/api/private/zones/", "status": 503,
                                            "count": 1, "body": "maintenance"})"));
    env.start_service();
    env.wait_until_running(20s);

    std::vector<Json::Value> zone_requests;
    for (auto& request : env.requests())
        if (request["path"] == "/api/private/zones/")
            zone_requests.push_back(request);
    ASSERT_GE(zone_requests.size(), 2u);
    EXPECT_EQ(zone_requests[0]["status"], 503);
    EXPECT_EQ(zone_requests[1]["status"], 200);
    const auto gap = test::request_time(zone_requests[1]) - test::request_time(zone_requests[0]);
    EXPECT_GE(gap, 4900ms);
    EXPECT_LT(gap, 7s);
    EXPECT_TRUE(env.service().wait_for_output(
        "Request failed with code: 503, addr: /api/private/zones/, response maintenance", 0ms))
        << env.service_output();

    // It runs normally afterwards.
    env.enter("obj-forklift-1", "zone-ko-dock-3", 8500, 1000, 0);
    EXPECT_EQ(env.wait_for_alarm_posts("obj-forklift-1", "zone-ko-dock-3", 1).size(), 1u);
}

// No platform and no Redis: the daemon waits for Redis until told to stop.
TEST(e2e_interrupt_test, sigterm_while_redis_is_down_ends_start_up_at_once) {
    char pattern[] = "/tmp/marovane-e2e-interrupt.XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    Json::Value config = test::parse_json(R"({
        "system": {"local_debug": true},
        "proxy": {"address": "127.0.0.1"},
        "server": {"protocol": "http", "timeout": 1},
        "redis": {"host": "127.0.0.1", "password": ""}})");
    config["system"]["pidfile"] = dir + "/marovane.pid";
    test::log_sink log_stream;
    config["system"]["debug_port"] = log_stream.endpoint();
    config["proxy"]["output_port"] = test::unused_loopback_port();
    config["server"]["address"] = "127.0.0.1:" + std::to_string(test::unused_loopback_port());
    config["redis"]["port"] = test::unused_loopback_port();
    std::ofstream(dir + "/marovane.json") << libs::core::json::to_string(config);

    test::child_process daemon({MAROVANE_BINARY, "-c", dir + "/marovane.json"},
                               dir + "/output.txt");
    ASSERT_TRUE(daemon.wait_for_output("Connection error: ", 10s)) << daemon.output();
    const auto signalled = clock::now();
    daemon.signal(SIGTERM);
    // The retry in progress ends at once, not after its full second.
    EXPECT_TRUE(daemon.wait_for_output("Interrupted", 10s)) << daemon.output();
    EXPECT_LT(clock::now() - signalled, 2s);
    EXPECT_EQ(daemon.wait(10s), 0);
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
}  // namespace zentu
