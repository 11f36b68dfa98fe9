#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <zmq.hpp>

#include "alarms_fakes.hpp"
#include "context/context.hpp"
#include "delivery/alarms_controller_impl.hpp"
#include "support/records.hpp"

namespace zentu::test {
namespace {

using context::zone_type;
using libs::core::timestamp;
using ::testing::EndsWith;
using ::testing::HasSubstr;

// The controller's log lines, read back from the logger's socket copy.
class alarms_controller_log : public ::testing::Test {
protected:
    alarms_controller_log() : m_pull(m_zmq, zmq::socket_type::pull) {
        m_pull.set(zmq::sockopt::rcvtimeo, 5000);
        m_pull.bind("tcp://127.0.0.1:*");
        m_logger = std::make_unique<libs::core::logger>("marovane-test", "alarms");
        m_logger->connect(m_pull.get(zmq::sockopt::last_endpoint));
        EXPECT_THAT(next_line(), EndsWith("Connected to socket"));

        site(m_ctx)
            .add(a_zone("K").name("Gate").shape(context::zone_shape::CIRCLE).keep_out().level(4))
            .add(an_object("o1").mac("aa:01"));
        m_controller =
            std::make_unique<alarms_controller_impl>(m_ctx, m_http, *m_logger, m_timers, 60, 60);
    }
    ~alarms_controller_log() override {
        m_controller.reset();
        m_logger.reset();
        m_pull.close();
    }

    // The next alarm decision or delivery line.
    std::string next_alarm_line() {
        for (;;) {
            zmq::message_t message;
            if (!m_pull.recv(message))
                return "<nothing>";
            auto line = message.to_string();
            if (line.find(" Alarm ") != std::string::npos)
                return line.substr(line.find(" Alarm ") + 1);
        }
    }

    // The next line other than the alarm decision and delivery lines.
    std::string next_line() {
        for (;;) {
            zmq::message_t message;
            if (!m_pull.recv(message))
                return "<nothing>";
            auto line = message.to_string();
            if (line.find(" Alarm ") == std::string::npos)
                return line;
        }
    }

    zmq::context_t m_zmq;
    zmq::socket_t m_pull;
    std::unique_ptr<libs::core::logger> m_logger;
    context::writable_context m_ctx;
    fake_http_client m_http;
    fake_timers m_timers;
    std::unique_ptr<alarms_controller_impl> m_controller;
};

TEST_F(alarms_controller_log, body_is_logged_before_sending_and_failures_with_their_text) {
    const context::zone_event enter =
        a_movement("o1", "K").sublocation("s1").keep_out().position(1, 2, 3);
    m_controller->set_ko_alarm("o1", "K", enter, timestamp(std::chrono::milliseconds(5'001)));
    ASSERT_EQ(m_http.m_requests.size(), 1u);
    EXPECT_THAT(next_line(), EndsWith(" " + m_http.m_requests[0].body));

    m_http.fail(0);
    EXPECT_THAT(next_line(), EndsWith(" curl_easy_perform failed:Couldn't connect to server"));

    m_timers.fire_only();
    EXPECT_THAT(next_line(), EndsWith(" " + m_http.m_requests[1].body));
    m_http.answer(1, http::result(502, std::nullopt, std::nullopt));
    EXPECT_THAT(next_line(), EndsWith(" Error"));

    m_timers.fire_only();
    next_line();
    m_http.answer(2, http::result(409, std::nullopt, "already known"));
    EXPECT_THAT(next_line(), EndsWith(" already known"));
}

TEST_F(alarms_controller_log, decisions_and_deliveries_are_told_and_repeats_held_back) {
    const context::zone_event enter =
        a_movement("o1", "K").sublocation("s1").keep_out().position(1, 2, 3);
    const std::string uid = "o1:K";
    {
        const alarms_controller::cause_scope cause(*m_controller,
                                                   {"zone event", &uid, &enter.get_action()});
        m_controller->set_ko_alarm("o1", "K", enter, timestamp(std::chrono::milliseconds(5'001)));
    }
    EXPECT_EQ(next_alarm_line(),
              "Alarm set: object o1, zone K, keep-out, cause: zone event o1:K (enter)");
    m_http.fail(0);
    EXPECT_THAT(next_alarm_line(),
                HasSubstr("Alarm o1:K (set) not delivered, attempt 1, transport error: "));
    // The same failure again is held back; another one is told with the count.
    m_timers.fire_only();
    m_http.fail(1);
    m_timers.fire_only();
    m_http.answer(2, http::result(503, std::nullopt, "busy"));
    EXPECT_THAT(next_alarm_line(),
                EndsWith("attempt 3, status 503, POST /api/private/alarms/, 1 failures held back "
                         "since the last line"));
    m_timers.fire_only();
    m_http.answer(3, 200);
    EXPECT_EQ(next_alarm_line(), "Alarm o1:K (set) delivered: status 200");
}

TEST_F(alarms_controller_log, nothing_unsent_or_unknown_passes_as_a_plain_delivery) {
    const context::zone_event enter =
        a_movement("o1", "K").sublocation("s1").keep_out().position(1, 2, 3);
    m_controller->set_ko_alarm("o1", "K", enter, timestamp(std::chrono::milliseconds(5'001)));
    next_alarm_line();
    m_http.answer(0, 404);
    EXPECT_THAT(next_alarm_line(),
                HasSubstr("Alarm o1:K (set) taken as delivered: status 404, the platform does "
                          "not know it"));
    m_controller->clear_ko_alarm("o1", "K", boost::none, timestamp(std::chrono::seconds(6)));
    next_alarm_line();
    http::result local(200, std::string(), std::nullopt);
    local.m_not_sent = true;
    m_http.answer(1, local);
    EXPECT_EQ(next_alarm_line(), "Alarm o1:K (clear) not sent (read-only)");
    // Read-only by configuration: nothing waits for a confirmation.
    EXPECT_EQ(m_controller->undelivered_count(), 0u);
    m_controller->not_raised_without_mac("o2", "K", context::alarm_type::ko);
    m_controller->not_raised_without_mac("o2", "K", context::alarm_type::ko);
    m_controller->set_ko_alarm("o1", "K", enter, timestamp(std::chrono::seconds(7)));
    EXPECT_EQ(next_alarm_line(),
              "Alarm not raised: object o2 has no MAC address, zone K, keep-out, cause: a change "
              "of the context");
    // Told once per pair: the next line is the next decision.
    EXPECT_THAT(next_alarm_line(), testing::StartsWith("Alarm set: object o1"));
}

}  // namespace
}  // namespace zentu::test
