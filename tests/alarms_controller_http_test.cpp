#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "context/context.hpp"
#include "core/events_loop.hpp"
#include "core/json.hpp"
#include "delivery/alarms_controller_impl.hpp"
#include "support/records.hpp"
#include "test_kit/http_test_server.hpp"

namespace zentu::test {
namespace {

using context::zone_type;
using libs::core::timestamp;
using std::chrono::milliseconds;
using std::chrono::seconds;

// The controller with the real HTTP client and real timers against a loopback
// alarms API. These tests wait for the real one-second delays.
class alarms_controller_http : public ::testing::Test {
protected:
    alarms_controller_http()
        : m_core(libs::core::core::create(m_logger)),
          m_loop(m_core->create_events_loop("main loop")),
          m_work(m_loop->create_work()),
          m_http(m_loop->create_http_client(m_server.url(), seconds(5), {}, 2)) {
        m_server.set_response(alarms_controller_impl::alarms_address, {});  // 200, empty body
        site(m_ctx)
            .add(a_zone("K").name("Dock").keep_out().level(2))
            .add(an_object("o1").mac("aa:01"));
    }
    ~alarms_controller_http() override {
        m_controller.reset();
        m_http.reset();
    }

    void start(int histeresis) {
        m_controller = std::make_unique<alarms_controller_impl>(
            m_ctx, *m_http, m_logger, m_loop->get_timers(), histeresis, histeresis);
    }
    context::zone_event event(const std::string& action) const {
        return a_movement("o1", "K").sublocation("s1").keep_out().action(action).position(4, 5, 6);
    }
    bool run_until(const std::function<bool()>& done, milliseconds timeout = seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            m_loop->get_io_context().run_one_for(milliseconds(10));
        }
        return true;
    }
    using received = test_kit::http_test_server::recorded_request;

    // The platform answers the next alarm requests with these statuses.
    void answer_next_with(const std::vector<int>& statuses) {
        std::vector<test_kit::http_test_server::response> responses;
        for (const int status : statuses) {
            test_kit::http_test_server::response r;
            r.status = status;
            responses.push_back(r);
        }
        m_server.queue_responses(alarms_controller_impl::alarms_address, std::move(responses));
    }
    std::string state_of(const received& r) const {
        return libs::core::json::try_parse(r.body).result["state"].asString();
    }
    static milliseconds gap(const received& a, const received& b) {
        return std::chrono::duration_cast<milliseconds>(b.at - a.at);
    }

    test_kit::http_test_server m_server;
    libs::core::logger m_logger{"marovane-test", "alarms-http"};
    libs::core::core::ptr m_core;
    libs::core::events_loop::ptr m_loop;
    libs::core::events_loop::work::ptr m_work;
    libs::core::http::client::ptr m_http;
    context::writable_context m_ctx;
    std::unique_ptr<alarms_controller_impl> m_controller;
};

TEST_F(alarms_controller_http, failed_set_is_retried_a_second_later) {
    answer_next_with({500, 503});
    start(0);
    m_controller->set_ko_alarm("o1", "K", event("enter"), timestamp::current_time());
    ASSERT_TRUE(run_until([&] {
        return m_controller->get_state("o1:K") == alarms_controller_impl::alarm_state::set;
    }));
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 3u);
    for (const auto& r : requests) {
        EXPECT_EQ(r.target, "/api/private/alarms/");
        EXPECT_EQ(state_of(r), "set");
    }
    EXPECT_GE(gap(requests[0], requests[1]), milliseconds(900));
    EXPECT_GE(gap(requests[1], requests[2]), milliseconds(900));
}

TEST_F(alarms_controller_http, set_alarm_is_re_sent_every_period_then_cleared) {
    start(1);
    m_controller->set_ko_alarm("o1", "K", event("enter"), timestamp::current_time());
    ASSERT_TRUE(run_until([&] { return m_server.request_count() == 3; }));
    auto requests = m_server.requests();
    EXPECT_EQ(state_of(requests[1]), "set");
    EXPECT_EQ(state_of(requests[2]), "set");
    EXPECT_GE(gap(requests[0], requests[1]), milliseconds(900));

    answer_next_with({404});
    const auto clear_event = event("leave");
    m_controller->clear_ko_alarm("o1", "K", clear_event, timestamp::current_time());
    ASSERT_TRUE(run_until([&] { return !m_ctx.get_alarms().is_exists("o1:K"); }));
    requests = m_server.requests();
    EXPECT_EQ(state_of(requests.back()), "clear");
    // Forgotten: no further re-send.
    const auto sent = m_server.request_count();
    run_until([] { return false; }, milliseconds(1300));
    EXPECT_EQ(m_server.request_count(), sent);
}

}  // namespace
}  // namespace zentu::test
