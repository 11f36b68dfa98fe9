// What systemd and a monitoring system see of the daemon, against the
// platform simulator: sd_notify datagrams on a real NOTIFY_SOCKET, SIGHUP,
// and /healthz and /metrics over HTTP.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

#include "support/e2e_fixture.hpp"
#include "test_kit/http_client.hpp"

namespace zentu {
namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;

// A datagram socket bound where NOTIFY_SOCKET points, as systemd has one.
class notify_socket {
public:
    explicit notify_socket(const std::string& path) : m_path(path) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
            throw std::runtime_error("cannot bind " + path);
        timeval timeout{10, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    }
    ~notify_socket() {
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
    notify_socket(const notify_socket&) = delete;
    notify_socket& operator=(const notify_socket&) = delete;

    // Reads datagrams, for ten seconds at most, until one starts with the
    // line; the lines passed over are appended to seen.
    bool wait_for(const std::string& line, std::string& seen) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        char buffer[4096];
        while (std::chrono::steady_clock::now() < deadline) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof(buffer), 0);
            if (n < 0)
                return false;
            const std::string datagram(buffer, static_cast<std::size_t>(n));
            seen += datagram + "\n";
            if (datagram.rfind(line, 0) == 0)
                return true;
        }
        return false;
    }

private:
    std::string m_path;
    int m_fd = -1;
};

class e2e_ops_test : public test::e2e_test {};

TEST_F(e2e_ops_test, systemd_follows_start_watchdog_rebuild_and_stop) {
    auto options = test::default_e2e_options();
    options.edit_config = [](Json::Value& config) { config["metrics"]["listen"] = "127.0.0.1:0"; };
    m_env = std::make_unique<test::e2e_environment>(options);
    auto& env = *m_env;

    const std::string socket_path = "/tmp/marovane-notify-" + std::to_string(::getpid());
    notify_socket manager(socket_path);
    // Only the daemon gets these: set around its start.
    ::setenv("NOTIFY_SOCKET", socket_path.c_str(), 1);
    ::setenv("WATCHDOG_USEC", "200000", 1);
    env.start_service();
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("WATCHDOG_USEC");

    std::string seen;
    EXPECT_TRUE(manager.wait_for("READY=1", seen)) << seen;
    EXPECT_THAT(seen, HasSubstr("STATUS=loading zones, objects and alarms from http://"));
    EXPECT_TRUE(manager.wait_for("STATUS=running", seen)) << seen;
    EXPECT_TRUE(manager.wait_for("WATCHDOG=1", seen)) << seen;

    // A running service answers 200; the port is in its log.
    const auto serving = env.service().wait_for_output("Serving /metrics and /healthz", 10s);
    ASSERT_TRUE(serving) << env.service_output();
    const std::string port = serving->substr(serving->rfind("port ") + 5);
    const std::string base = "http://127.0.0.1:" + port.substr(0, port.find(')'));
    const auto health = test_kit::http_get(base + "/healthz");
    EXPECT_EQ(health.status, 200) << health.body;
    const auto metrics = test_kit::http_get(base + "/metrics");
    EXPECT_THAT(metrics.body, HasSubstr("marovane_startup_duration_seconds "));
    EXPECT_THAT(metrics.body, HasSubstr("process_cpu_seconds_total "));

    // The counters follow an alarm raised and delivered, and the stream that told of it.
    env.enter("obj-forklift-1", "zone-ko-dock-3", 8500, 1000, 0);
    ASSERT_EQ(env.wait_for_alarm_posts("obj-forklift-1", "zone-ko-dock-3", 1).size(), 1u);
    EXPECT_TRUE(env.wait_until(
        [&] {
            const auto now = test_kit::http_get(base + "/metrics").body;
            return now.find(
                       R"(marovane_alarm_decisions_total{kind="keep_out",decision="set"} 1)") !=
                       std::string::npos &&
                   now.find(R"(marovane_zone_events_total{action="enter"} 1)") !=
                       std::string::npos &&
                   now.find(R"(marovane_alarm_requests_total{outcome="accepted"} 2)") !=
                       std::string::npos &&
                   now.find("marovane_stream_connected 1\n") != std::string::npos &&
                   now.find("marovane_stream_last_message_age_seconds ") != std::string::npos;
        },
        5s))
        << test_kit::http_get(base + "/metrics").body;

    // SIGHUP rebuilds at once and the process goes on.
    env.service().signal(SIGHUP);
    EXPECT_TRUE(manager.wait_for("RELOADING=1", seen)) << seen;
    EXPECT_TRUE(manager.wait_for("READY=1", seen)) << seen;
    EXPECT_TRUE(env.service().wait_for_output("Rebuild requested (SIGHUP)", 10s));
    EXPECT_TRUE(env.service().running());

    env.service().signal(SIGTERM);
    EXPECT_TRUE(manager.wait_for("STOPPING=1", seen)) << seen;
    EXPECT_EQ(env.service().wait(10s), 0);
}

}  // namespace
}  // namespace zentu
