// The metrics and health endpoint over real HTTP on a loopback port, driven
// through the service_metrics the events loop updates.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <zmq.hpp>

#include "alarms_fakes.hpp"
#include "core/exception.hpp"
#include "core/logger.hpp"
#include "ops/metrics.hpp"
#include "ops/metrics_server.hpp"
#include "test_kit/http_client.hpp"

namespace zentu::ops {
namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;

class ops_metrics_test : public ::testing::Test {
protected:
    ops_metrics_test() : m_server("127.0.0.1:0", m_metrics, "1.2.3 (git abc)") {}

    test_kit::http_answer get(const std::string& path) {
        return test_kit::http_get("http://127.0.0.1:" + std::to_string(m_server.port()) + path);
    }

    service_metrics m_metrics;
    metrics_server m_server;
};

TEST_F(ops_metrics_test, metrics_show_what_the_loop_counted) {
    EXPECT_THAT(get("/metrics").body, HasSubstr("marovane_alarms_open 0\n"));

    m_metrics.zone_event_handled("enter");
    m_metrics.zone_event_handled("enter");
    m_metrics.zone_event_handled("sideways");
    m_metrics.notification_handled("TRACKABLE_OBJECT_GROUPS");
    m_metrics.malformed_message("zone_event");
    m_metrics.alarm_decided(alarm_kind::keep_out, alarm_decision::set);
    m_metrics.request_started();
    m_metrics.request_started();
    m_metrics.request_finished(request_outcome::accepted, 3ms);
    m_metrics.resend();
    m_metrics.open_alarms(4);
    m_metrics.startup_finished(1500ms);
    m_metrics.mirror_state(false);
    m_metrics.mirror_failure();
    m_metrics.resync_finished(false);
    EXPECT_THAT(get("/metrics").body,
                testing::Not(HasSubstr("marovane_stream_last_message_age_seconds")));
    m_metrics.stream_health(true, 2, 300, std::chrono::steady_clock::now() - 5s);

    const auto answer = get("/metrics");
    EXPECT_EQ(answer.status, 200);
    const std::string& text = answer.body;
    EXPECT_THAT(text, HasSubstr("marovane_build_info{version=\"1.2.3 (git abc)\"} 1\n"));
    EXPECT_THAT(text, HasSubstr("marovane_zone_events_total{action=\"enter\"} 2\n"));
    EXPECT_THAT(text, HasSubstr("marovane_zone_events_total{action=\"other\"} 1\n"));
    EXPECT_THAT(text,
                HasSubstr("marovane_notifications_total{object=\"trackable_object_groups\"} 1\n"));
    EXPECT_THAT(text, HasSubstr("marovane_malformed_messages_total{topic=\"zone_event\"} 1\n"));
    EXPECT_THAT(
        text, HasSubstr("marovane_alarm_decisions_total{kind=\"keep_out\",decision=\"set\"} 1\n"));
    EXPECT_THAT(text, HasSubstr("marovane_alarm_requests_total{outcome=\"accepted\"} 1\n"));
    EXPECT_THAT(text,
                HasSubstr("marovane_alarm_request_duration_seconds_bucket{le=\"0.0025\"} 0\n"));
    EXPECT_THAT(text,
                HasSubstr("marovane_alarm_request_duration_seconds_bucket{le=\"0.005\"} 1\n"));
    EXPECT_THAT(text, HasSubstr("marovane_alarm_request_duration_seconds_count 1\n"));
    EXPECT_THAT(text, HasSubstr("marovane_alarm_requests_in_flight 1\n"));
    EXPECT_THAT(text, HasSubstr("marovane_alarm_resends_total 1\n"));
    EXPECT_THAT(text, HasSubstr("marovane_alarms_open 4\n"));
    EXPECT_THAT(text, HasSubstr("marovane_startup_duration_seconds 1.5\n"));
    EXPECT_THAT(text, HasSubstr("marovane_redis_mirror_up 0\n"));
    EXPECT_THAT(text, HasSubstr("marovane_redis_mirror_failures_total 1\n"));
    EXPECT_THAT(text, HasSubstr("marovane_resyncs_total{result=\"failed\"} 1\n"));
    EXPECT_THAT(text, HasSubstr("marovane_resyncs_total{result=\"ok\"} 0\n"));
    EXPECT_THAT(text, HasSubstr("marovane_stream_connected 1\n"));
    EXPECT_THAT(text, HasSubstr("marovane_stream_disconnects_total 2\n"));
    EXPECT_THAT(text, HasSubstr("marovane_stream_messages_total 300\n"));
    const std::string age_name = "\nmarovane_stream_last_message_age_seconds ";
    const auto age_at = text.find(age_name);
    ASSERT_NE(age_at, std::string::npos);
    EXPECT_GE(std::stod(text.substr(age_at + age_name.size())), 5.0);
    EXPECT_THAT(text, HasSubstr("process_resident_memory_bytes "));
    EXPECT_EQ(get("/nothing").status, 404);
}

TEST_F(ops_metrics_test, health_tells_why_the_service_is_not_well) {
    auto answer = get("/healthz");
    EXPECT_EQ(answer.status, 503);
    EXPECT_EQ(answer.body, "the service is starting\n");

    m_metrics.startup_finished(1s);
    m_metrics.service_stands(true);
    answer = get("/healthz");
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "ok\n");

    m_metrics.stream_connected(false);
    answer = get("/healthz");
    EXPECT_EQ(answer.status, 503);
    EXPECT_EQ(answer.body, "message stream disconnected\n");

    m_metrics.stream_connected(true);
    m_metrics.rebuild_finished(false, 2s, service_metrics::clock::now(), "platform unreachable");
    answer = get("/healthz");
    EXPECT_EQ(answer.status, 503);
    EXPECT_EQ(answer.body, "the last rebuild failed: platform unreachable\n");
    EXPECT_THAT(get("/metrics").body, HasSubstr("marovane_rebuilds_total{result=\"failed\"} 1\n"));

    m_metrics.rebuild_finished(
        true, 2s, service_metrics::clock::time_point(std::chrono::seconds(1700000000)));
    EXPECT_EQ(get("/healthz").status, 200);
    EXPECT_THAT(get("/metrics").body,
                HasSubstr("marovane_last_successful_rebuild_timestamp_seconds 1700000000\n"));

    // An alarm waiting for the platform's confirmation longer than the bound.
    m_metrics.set_undelivered_after(30s);
    const auto now = std::chrono::steady_clock::now();
    m_metrics.undelivered(2, now - 20s, "o1:z1");
    EXPECT_TRUE(m_metrics.health_at(now).ok);
    EXPECT_EQ(m_metrics.health_at(now + 15s).reason, "alarm o1:z1 undelivered for 35 s");
    EXPECT_EQ(get("/healthz").status, 200);
    m_metrics.undelivered(1, now - 40s, "o2:z1");
    answer = get("/healthz");
    EXPECT_EQ(answer.status, 503);
    EXPECT_THAT(answer.body, testing::StartsWith("alarm o2:z1 undelivered for 4"));
    EXPECT_THAT(get("/metrics").body, HasSubstr("marovane_alarms_undelivered 1\n"));
    m_metrics.undelivered(0, std::nullopt, {});
    EXPECT_EQ(get("/healthz").status, 200);
}

TEST(ops_metrics_server_test, an_address_in_use_is_named) {
    service_metrics metrics;
    const metrics_server first("127.0.0.1:0", metrics, "v");
    const std::string address = "127.0.0.1:" + std::to_string(first.port());
    try {
        metrics_server second(address, metrics, "v");
        FAIL() << "two servers on " << address;
    } catch (const libs::core::exception& e) {
        EXPECT_THAT(e.get_string_error(),
                    testing::StartsWith("Cannot serve metrics on " + address));
    }
}

TEST(ops_metrics_listener_test, a_taken_port_is_logged_and_tried_again_until_it_is_free) {
    zmq::context_t zmq;
    zmq::socket_t log_stream(zmq, zmq::socket_type::pull);
    log_stream.bind("tcp://127.0.0.1:*");
    log_stream.set(zmq::sockopt::rcvtimeo, 3000);
    libs::core::logger logger("marovane-test", "metrics");
    logger.connect(log_stream.get(zmq::sockopt::last_endpoint));
    service_metrics metrics;
    auto holder = std::make_unique<metrics_server>("127.0.0.1:0", metrics, "v");
    const int port = holder->port();
    const std::string address = "127.0.0.1:" + std::to_string(port);
    test::fake_timers timers;
    // The next line that holds text; "<none>" after a few seconds without one.
    const auto line_with = [&](const std::string& text) {
        zmq::message_t message;
        while (log_stream.recv(message))
            if (message.to_string().find(text) != std::string::npos)
                return message.to_string();
        return std::string("<none>");
    };

    const metrics_listener listener(address, metrics, "v", timers, logger);
    EXPECT_FALSE(listener.listening());
    EXPECT_EQ(listener.port(), 0);
    EXPECT_THAT(line_with("Cannot serve metrics on " + address),
                HasSubstr("; trying again every 5 s while the service runs"));
    ASSERT_EQ(timers.armed().size(), 1u);
    EXPECT_EQ(timers.armed().front()->delay, 5s);

    timers.fire_only();
    EXPECT_FALSE(listener.listening());
    holder.reset();
    timers.fire_only();
    ASSERT_TRUE(listener.listening());
    EXPECT_TRUE(timers.armed().empty());
    EXPECT_EQ(listener.port(), port);
    EXPECT_EQ(test_kit::http_get("http://" + address + "/healthz").body,
              "the service is starting\n");
    // The same failure was logged once; then the address it serves.
    EXPECT_THAT(line_with("metrics"), HasSubstr("Serving /metrics and /healthz on " + address));
}

}  // namespace
}  // namespace zentu::ops
