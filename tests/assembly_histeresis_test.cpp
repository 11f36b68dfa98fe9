// Re-send periods read from the alarm types of a loopback HTTP server.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <zmq.hpp>

#include "alarms_fakes.hpp"
#include "core/events_loop.hpp"
#include "core/json.hpp"
#include "service/zone_detector.hpp"
#include "test_kit/http_test_server.hpp"

namespace zentu {
namespace {

using namespace std::chrono_literals;
namespace core = libs::core;
using test_kit::http_test_server;

const std::string alarm_types_path = "/api/private/alarm_types/";

class assembly_histeresis_test : public ::testing::Test {
protected:
    assembly_histeresis_test()
        : m_log_stream(m_zmq, zmq::socket_type::pull),
          m_logger("marovane-test", "histeresis"),
          m_core(core::core::create(m_logger)),
          m_loop(m_core->create_events_loop("test loop")),
          m_client(m_loop->create_http_client(m_server.url(), 2s, {}, 2)),
          m_signals(m_loop->stop_on_signals()) {
        m_log_stream.bind("tcp://127.0.0.1:*");
        m_logger.connect(m_log_stream.get(zmq::sockopt::last_endpoint));
    }

    void serve(int status, const std::string& body) {
        http_test_server::response response;
        response.status = status;
        response.body = body;
        m_server.set_response(alarm_types_path, response);
    }

    // Retries wait on a clock that moves at once.
    histeresis read() { return get_histeresis(*m_client, m_logger, *m_signals, m_clock); }

    // The text of the exception get_histeresis throws.
    std::string failure() {
        try {
            read();
        } catch (const core::exception& e) {
            return e.get_string_error();
        }
        return "<no exception>";
    }

    // The first log line holding text, waiting up to a few seconds for it.
    std::string log_line_with(const std::string& text) {
        m_log_stream.set(zmq::sockopt::rcvtimeo, 3000);
        zmq::message_t message;
        while (m_log_stream.recv(message)) {
            const std::string line = message.to_string();
            if (line.find(text) != std::string::npos)
                return line;
        }
        return "<none>";
    }

    zmq::context_t m_zmq;
    zmq::socket_t m_log_stream;
    http_test_server m_server;
    core::logger m_logger;
    core::core::ptr m_core;
    core::events_loop::ptr m_loop;
    core::http::client::ptr m_client;
    core::events_loop::signals_handle::ptr m_signals;
    test::fake_timers m_clock;
};

TEST_F(assembly_histeresis_test, reads_both_periods_and_a_later_type_of_the_same_name_wins) {
    serve(200, R"([{"name": "zone_violation", "histeresis": 30},
                   {"name": "buffer_violation", "histeresis": 60},
                   {"name": "tamper", "histeresis": 5},
                   {"name": "zone_violation", "histeresis": 45}])");
    const auto periods = read();
    EXPECT_EQ(periods.zone_violation_histeresis, 45u);
    EXPECT_EQ(periods.buffer_violation_histeresis, 60u);
    EXPECT_EQ(m_server.request_count(), 1u);
}

TEST_F(assembly_histeresis_test, missing_types_are_named) {
    serve(200, R"([{"name": "buffer_violation", "histeresis": 60}])");
    EXPECT_EQ(failure(), "zone violation histeresis is not found");
    serve(200, R"([{"name": "tamper", "histeresis": 5}])");
    EXPECT_EQ(failure(), "zone violation histeresis is not found");
    serve(200, "[]");
    EXPECT_EQ(failure(), "zone violation histeresis is not found");
    serve(200, R"([{"name": "zone_violation", "histeresis": 30}])");
    EXPECT_EQ(failure(), "buffer violation histeresis is not found");
    // Answers that are not retried.
    EXPECT_EQ(m_server.request_count(), 4u);
}

TEST_F(assembly_histeresis_test, unreadable_answers_fail_without_retry) {
    serve(200, "zone_violation=30");
    EXPECT_EQ(failure(),
              "Unable to parse histeresis: " + core::json::try_parse("zone_violation=30").error);
    serve(200, R"([{"name": "zone_violation", "histeresis": "30"},
                   {"name": "buffer_violation", "histeresis": 60}])");
    EXPECT_EQ(failure().rfind("Unable to read histeresis: ", 0), 0u);
    serve(200, "[1, 2]");
    EXPECT_EQ(failure().rfind("Unable to read histeresis: ", 0), 0u);
    EXPECT_EQ(m_server.request_count(), 3u);
}

TEST_F(assembly_histeresis_test, error_status_is_logged_and_retried_a_second_later) {
    http_test_server::response busy;
    busy.status = 503;
    busy.body = R"({"detail":"alarm types busy"})";
    http_test_server::response types;
    types.body = R"([{"name": "zone_violation", "histeresis": 30},
                     {"name": "buffer_violation", "histeresis": 0}])";
    m_server.queue_responses(alarm_types_path, {busy, types});
    const auto started = m_clock.current_time_point();
    const auto periods = read();
    const auto took = m_clock.current_time_point() - started;

    EXPECT_EQ(periods.zone_violation_histeresis, 30u);
    EXPECT_EQ(periods.buffer_violation_histeresis, 0u);
    EXPECT_EQ(m_server.request_count(), 2u);
    EXPECT_GE(took, 950ms);
    const auto line = log_line_with("alarm types busy");
    EXPECT_NE(line.find(R"({"detail":"alarm types busy"})"), std::string::npos) << line;
    EXPECT_NE(line.find("histeresis.cpp:"), std::string::npos) << line;
}

}  // namespace
}  // namespace zentu
