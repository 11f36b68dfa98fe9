#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>

#include "alarms_fakes.hpp"
#include "context/context.hpp"
#include "delivery/alarms_controller_impl.hpp"
#include "support/records.hpp"

namespace zentu::test {
namespace {

using context::alarm_type;
using context::zone_type;
using libs::core::timestamp;
using state = alarms_controller_impl::alarm_state;
using std::chrono::seconds;

timestamp at(long long ms) {
    return timestamp(std::chrono::milliseconds(ms));
}

class alarms_controller_state : public ::testing::Test {
protected:
    alarms_controller_state() {
        site(m_ctx)
            .add(a_zone("zin").name("Hall").level(3).sublocation("s-zone"))
            .add(a_zone("zout").name("Dock 3").keep_out().level(2))
            .add(a_zone("zbuf").name("Forklift").keep_out().level(5).attached_to("o9"))
            .add(an_object("o1").mac("aa:01").sublocation("s-obj"))
            .add(an_object("o2").mac(std::nullopt))
            .add(an_object("o3").mac("aa:03"));
    }

    static context::zone_event event(const std::string& obj, const std::string& zone,
                                     const std::string& action, int x, int y, int z) {
        return a_movement(obj, zone)
            .at(at(5))
            .sublocation("s-ev")
            .keep_out()
            .action(action)
            .position(x, y, z);
    }

    // Optional events bind to lvalues only.
    const context::zone_event& keep(context::zone_event e) {
        return m_events.emplace_back(std::move(e));
    }

    alarms_controller_impl& controller() {
        if (!m_controller)
            m_controller =
                std::make_unique<alarms_controller_impl>(m_ctx, m_http, m_logger, m_timers, 60, 45);
        return *m_controller;
    }
    std::optional<state> state_of(const std::string& uid) { return controller().get_state(uid); }
    std::vector<std::string> posted_states() const {
        std::vector<std::string> out;
        for (const auto& r : m_http.m_requests)
            out.push_back(r.state());
        return out;
    }

    context::writable_context m_ctx;
    fake_http_client m_http;
    fake_timers m_timers;
    libs::core::logger m_logger{"marovane-test", "alarms"};
    std::deque<context::zone_event> m_events;
    std::unique_ptr<alarms_controller_impl> m_controller;
};

TEST_F(alarms_controller_state, ko_set_posts_the_alarm_at_once) {
    const auto ev = event("o1", "zout", "enter", 10, -20, 0);
    controller().set_ko_alarm("o1", "zout", ev, at(1'700'000'123'456));

    ASSERT_EQ(m_http.m_requests.size(), 1u);
    const auto& request = m_http.m_requests[0];
    EXPECT_EQ(request.method, http::method::post);
    EXPECT_EQ(request.address, "/api/private/alarms/");
    const auto expected = libs::core::json::try_parse(R"({
        "obj_uid": "o1", "mac_address": "aa:01", "alarm_name": "zone_violation",
        "state": "set", "obj_class": "TO", "ts": 1700000123, "ms": 456,
        "x": 10, "y": -20, "z": 0, "sublocation_uid": "s-ev",
        "additional_info": {"zone_alarm_level": 2, "zone_uid": "zout",
                            "text": "Keep out zone Dock 3 with zone alarm level 2",
                            "zone_violation_type": "keep_out"}})")
                              .result;
    EXPECT_EQ(request.json(), expected) << request.body;
    EXPECT_EQ(request.body.find('\n'), std::string::npos);

    const auto stored = m_ctx.get_alarms().try_get("o1:zout");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->get_state(), "set");
    EXPECT_EQ(stored->get_alarm_type(), alarm_type::ko);
    EXPECT_EQ(state_of("o1:zout"), state::sending_set);
}

TEST_F(alarms_controller_state, sets_that_cannot_apply_do_nothing) {
    const auto ev = event("o1", "zin", "leave", 1, 2, 3);
    controller().set_ki_alarm("o1", "zout", ev, at(1));    // keep-in set for a keep-out zone
    controller().set_ko_alarm("o1", "zin", ev, at(1));     // and the reverse
    controller().set_ki_alarm("o1", "nozone", ev, at(1));  // unknown zone
    controller().set_ki_alarm("nobody", "zin", ev, at(1));
    controller().set_ki_alarm("o2", "zin", ev, at(1));  // no MAC address
    EXPECT_TRUE(m_http.m_requests.empty());
    EXPECT_TRUE(m_ctx.get_alarms().empty());
    EXPECT_EQ(state_of("o2:zin"), std::nullopt);
}

TEST_F(alarms_controller_state, clear_of_an_unknown_alarm_keeps_no_state) {
    controller().clear_ki_alarm("o1", "zin", boost::none, at(1));
    controller().clear_ko_alarm("o1", "zout", boost::none, at(1));
    EXPECT_TRUE(m_http.m_requests.empty());
    EXPECT_EQ(state_of("o1:zin"), std::nullopt);
    EXPECT_EQ(state_of("o1:zout"), std::nullopt);
}

TEST_F(alarms_controller_state, alarm_without_event_takes_its_position_from_the_context) {
    controller().set_ki_alarm("o1", "zin", boost::none, at(2'000));
    controller().set_ko_alarm("o3", "zbuf", event("o3", "zbuf", "enter", 0, 0, 0), at(2'000));
    controller().clear_ko_alarm("o3", "zbuf", boost::none, at(2'500));
    ASSERT_EQ(m_http.m_requests.size(), 2u);

    const auto ki = m_http.m_requests[0].json();
    EXPECT_EQ(ki["sublocation_uid"], "s-zone");
    EXPECT_EQ(ki["x"], 0);
    EXPECT_EQ(ki["additional_info"]["zone_violation_type"], "keep_in");
    EXPECT_EQ(ki["additional_info"]["text"], "Keep in zone Hall with zone alarm level 3");
    EXPECT_EQ(ki["ts"], 2);
    EXPECT_EQ(ki["ms"], 0);

    const auto buffer = m_http.m_requests[1].json();
    EXPECT_EQ(buffer["alarm_name"], "buffer_violation");
    EXPECT_EQ(buffer["sublocation_uid"], "s-ev");
}

TEST_F(alarms_controller_state, object_sublocation_or_null_when_the_zone_has_none) {
    m_ctx.take_zones().remove("zin", timestamp());
    site(m_ctx).add(a_zone("zin").name("Hall").level(3));
    controller().set_ki_alarm("o1", "zin", boost::none, at(1));
    controller().set_ki_alarm("o3", "zin", boost::none, at(1));
    ASSERT_EQ(m_http.m_requests.size(), 2u);
    EXPECT_EQ(m_http.m_requests[0].json()["sublocation_uid"], "s-obj");
    EXPECT_TRUE(m_http.m_requests[1].json().isMember("sublocation_uid"));
    EXPECT_TRUE(m_http.m_requests[1].json()["sublocation_uid"].isNull());
}

TEST_F(alarms_controller_state, clear_during_the_set_is_sent_after_it_and_then_forgotten) {
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    controller().clear_ko_alarm("o1", "zout", keep(event("o1", "zout", "leave", 7, 0, 9)),
                                at(2'000));
    EXPECT_EQ(m_http.m_requests.size(), 1u);
    EXPECT_EQ(state_of("o1:zout"), state::sending_set_but_must_be_clear);
    EXPECT_EQ(m_ctx.get_alarms().get("o1:zout").get_state(), "clear");

    ASSERT_TRUE(m_http.answer(0, 201));
    ASSERT_EQ(m_http.m_requests.size(), 2u);
    const auto clear = m_http.m_requests[1].json();
    EXPECT_EQ(clear["state"], "clear");
    EXPECT_EQ(clear["ts"], 2);
    EXPECT_EQ(clear["x"], 7);
    EXPECT_EQ(clear["y"], 0);
    EXPECT_EQ(state_of("o1:zout"), state::sending_clear);

    ASSERT_TRUE(m_http.answer(1, 200));
    EXPECT_FALSE(m_ctx.get_alarms().is_exists("o1:zout"));
    EXPECT_EQ(state_of("o1:zout"), std::nullopt);
    EXPECT_TRUE(m_timers.armed().empty());
}

TEST_F(alarms_controller_state, failed_set_that_must_be_cleared_is_followed_by_the_clear) {
    // The set may have been processed by the platform although its answer
    // was lost: the clear that is wanted now goes out a second later.
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    controller().clear_ko_alarm("o1", "zout", boost::none, at(2'000));
    ASSERT_TRUE(m_http.fail(0));
    EXPECT_EQ(state_of("o1:zout"), state::sending_clear);
    const auto timers = m_timers.armed();
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_EQ(timers[0]->name, "retry timer");
    EXPECT_EQ(timers[0]->delay, seconds(1));
    fake_timers::fire(*timers[0]);
    EXPECT_EQ(posted_states(), (std::vector<std::string>{"set", "clear"}));
    ASSERT_TRUE(m_http.answer(1, 200));
    EXPECT_FALSE(m_ctx.get_alarms().is_exists("o1:zout"));
    EXPECT_EQ(state_of("o1:zout"), std::nullopt);
    EXPECT_TRUE(m_timers.armed().empty());
}

TEST_F(alarms_controller_state, set_again_during_its_own_clear_wins_back) {
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    controller().clear_ko_alarm("o1", "zout", boost::none, at(2'000));
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(3'000));
    EXPECT_EQ(state_of("o1:zout"), state::sending_set);  // the set on its way is wanted after all
    // The stored alarm says "set" again, so re-sends and the mirror do too.
    EXPECT_EQ(m_ctx.get_alarms().get("o1:zout").get_state(), "set");
    ASSERT_TRUE(m_http.answer(0, 200));
    EXPECT_EQ(state_of("o1:zout"), state::set);
    EXPECT_EQ(posted_states(), (std::vector<std::string>{"set"}));
    m_timers.fire_only();
    EXPECT_EQ(posted_states(), (std::vector<std::string>{"set", "set"}));
}

TEST_F(alarms_controller_state, set_wanted_again_while_a_retried_clear_is_on_its_way) {
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    ASSERT_TRUE(m_http.fail(0));
    controller().clear_ko_alarm("o1", "zout", boost::none, at(2'000));
    m_timers.fire_only();  // the retry carries the stored alarm: "clear"
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(3'000));
    ASSERT_TRUE(m_http.answer(1, 200));
    // The platform has just been told "clear": the set goes out again at once.
    ASSERT_EQ(m_http.m_requests.size(), 3u);
    EXPECT_EQ(posted_states(), (std::vector<std::string>{"set", "clear", "set"}));
    ASSERT_TRUE(m_http.answer(2, 200));
    EXPECT_EQ(state_of("o1:zout"), state::set);
}

TEST_F(alarms_controller_state, set_during_a_clear_restores_the_alarm_and_posts_it_after) {
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    ASSERT_TRUE(m_http.answer(0, 200));
    controller().clear_ko_alarm("o1", "zout", keep(event("o1", "zout", "leave", 4, 5, 6)),
                                at(2'000));
    EXPECT_EQ(state_of("o1:zout"), state::sending_clear);

    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 8, 0, 0), at(3'000));
    EXPECT_EQ(state_of("o1:zout"), state::sending_clear_but_must_be_set);
    const auto& stored = m_ctx.get_alarms().get("o1:zout");
    EXPECT_EQ(stored.get_state(), "set");
    EXPECT_EQ(stored.get_timestamp(), at(3'000));
    EXPECT_EQ(stored.get_x(), 8);  // zeros keep the previous coordinates
    EXPECT_EQ(stored.get_y(), 5);

    ASSERT_TRUE(m_http.answer(1, 200));
    EXPECT_EQ(posted_states(), (std::vector<std::string>{"set", "clear", "set"}));
    EXPECT_EQ(state_of("o1:zout"), state::sending_set);
    ASSERT_TRUE(m_http.answer(2, 200));
    EXPECT_EQ(state_of("o1:zout"), state::set);
}

TEST_F(alarms_controller_state, failed_clear_that_must_be_set_is_followed_by_the_set) {
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    ASSERT_TRUE(m_http.answer(0, 200));
    controller().clear_ko_alarm("o1", "zout", boost::none, at(2'000));
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(3'000));
    ASSERT_TRUE(m_http.answer(1, 500));
    EXPECT_EQ(state_of("o1:zout"), state::sending_set);
    m_timers.fire_only();  // the retry timer, a second later
    EXPECT_EQ(posted_states(), (std::vector<std::string>{"set", "clear", "set"}));
    ASSERT_TRUE(m_http.answer(2, 200));
    EXPECT_EQ(state_of("o1:zout"), state::set);
    const auto timers = m_timers.armed();
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_EQ(timers[0]->name, "histeresis timer");
    EXPECT_EQ(timers[0]->delay, seconds(60));
}

TEST_F(alarms_controller_state, set_after_a_kind_change_replaces_the_alarm_being_cleared) {
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    ASSERT_TRUE(m_http.answer(0, 200));
    controller().clear_ko_alarm("o1", "zout", boost::none, at(2'000));
    {
        auto zone = m_ctx.take_zones().try_get("zout", timestamp());
        (*zone)->set_type(zone_type::KEEP_IN);
    }
    controller().set_ki_alarm("o1", "zout", boost::none, at(3'000));
    ASSERT_TRUE(m_http.answer(1, 200));
    ASSERT_EQ(m_http.m_requests.size(), 3u);
    const auto set = m_http.m_requests[2].json();
    EXPECT_EQ(set["state"], "set");
    EXPECT_EQ(set["additional_info"]["zone_violation_type"], "keep_in");
    EXPECT_EQ(set["additional_info"]["text"], "Keep in zone Dock 3 with zone alarm level 2");
}

TEST_F(alarms_controller_state, set_alarm_is_re_sent_every_period_while_set) {
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    ASSERT_TRUE(m_http.answer(0, 200));
    for (std::size_t round = 1; round <= 3; ++round) {
        const auto timers = m_timers.armed();
        ASSERT_EQ(timers.size(), 1u);
        EXPECT_EQ(timers[0]->name, "histeresis timer");
        EXPECT_EQ(timers[0]->delay, seconds(60));
        fake_timers::fire(*timers[0]);
        ASSERT_EQ(m_http.m_requests.size(), round + 1);
        EXPECT_EQ(m_http.m_requests.back().state(), "set");
        // A failed re-send waits a whole period too.
        ASSERT_TRUE(round == 2 ? m_http.fail(round) : m_http.answer(round, 200));
        EXPECT_EQ(state_of("o1:zout"), state::set);
    }
    EXPECT_EQ(m_timers.armed().size(), 1u);
}

TEST_F(alarms_controller_state, buffer_violation_uses_its_own_period) {
    controller().set_ko_alarm("o3", "zbuf", event("o3", "zbuf", "enter", 1, 2, 3), at(1'000));
    ASSERT_TRUE(m_http.answer(0, 200));
    ASSERT_EQ(m_timers.armed().size(), 1u);
    EXPECT_EQ(m_timers.armed()[0]->delay, seconds(45));
}

TEST_F(alarms_controller_state, failing_clear_is_retried_every_second_and_404_ends_it) {
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    ASSERT_TRUE(m_http.answer(0, 200));
    controller().clear_ko_alarm("o1", "zout", boost::none, at(2'000));
    for (std::size_t attempt = 1; attempt <= 3; ++attempt) {
        ASSERT_TRUE(attempt == 2 ? m_http.answer(attempt, 503) : m_http.fail(attempt));
        EXPECT_EQ(state_of("o1:zout"), state::sending_clear);
        const auto timers = m_timers.armed();
        ASSERT_EQ(timers.size(), 1u);  // the retry replaced the period timer
        EXPECT_EQ(timers[0]->name, "retry timer");
        EXPECT_EQ(timers[0]->delay, seconds(1));
        fake_timers::fire(*timers[0]);
    }
    ASSERT_TRUE(m_http.answer(4, 404));
    EXPECT_EQ(posted_states(),
              (std::vector<std::string>{"set", "clear", "clear", "clear", "clear"}));
    EXPECT_FALSE(m_ctx.get_alarms().is_exists("o1:zout"));
    EXPECT_EQ(state_of("o1:zout"), std::nullopt);
}

TEST_F(alarms_controller_state, failing_set_is_retried_every_second) {
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    ASSERT_TRUE(m_http.fail(0));
    ASSERT_EQ(m_timers.armed().size(), 1u);
    EXPECT_EQ(m_timers.armed()[0]->name, "retry timer");
    m_timers.fire_only();
    ASSERT_EQ(m_http.m_requests.size(), 2u);
    ASSERT_TRUE(m_http.answer(1, 404));
    EXPECT_EQ(state_of("o1:zout"), state::set);
}

TEST_F(alarms_controller_state, rejected_request_backs_off_unless_the_wish_changes) {
    // A period of 0 ("never re-send") must not park a refused alarm.
    m_controller =
        std::make_unique<alarms_controller_impl>(m_ctx, m_http, m_logger, m_timers, 0, 0);
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    for (const auto& [status, delay] : {std::pair{400, 5}, {422, 10}, {400, 20}}) {
        ASSERT_TRUE(m_http.answer(m_http.last(), status));
        EXPECT_EQ(state_of("o1:zout"), state::sending_set);
        const auto timers = m_timers.armed();
        ASSERT_EQ(timers.size(), 1u);
        EXPECT_EQ(timers[0]->name, "backoff timer");
        EXPECT_EQ(timers[0]->delay, seconds(delay));
        fake_timers::fire(*timers[0]);
    }
    // A changed wish (the zone became keep-in) goes out at the next one-second slot.
    ASSERT_TRUE(m_http.answer(m_http.last(), 422));
    (*m_ctx.take_zones().try_get("zout", timestamp()))->set_type(zone_type::KEEP_IN);
    controller().set_ki_alarm("o1", "zout", boost::none, at(2'000));
    const auto timers = m_timers.armed();
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_EQ(timers[0]->name, "retry timer");
    EXPECT_EQ(timers[0]->delay, seconds(1));
    fake_timers::fire(*timers[0]);
    ASSERT_EQ(m_http.m_requests.size(), 5u);
    EXPECT_EQ(m_http.m_requests[4].json()["additional_info"]["zone_violation_type"], "keep_in");
    // Nothing of the refused keep-out alarm reached the platform: no clear of it.
    ASSERT_TRUE(m_http.answer(4, 200));
    EXPECT_EQ(m_http.m_requests.size(), 5u);
    EXPECT_EQ(state_of("o1:zout"), state::set);
}

TEST_F(alarms_controller_state, clear_while_waiting_for_a_retry_of_the_set) {
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    ASSERT_TRUE(m_http.fail(0));
    controller().clear_ko_alarm("o1", "zout", boost::none, at(2'000));
    EXPECT_EQ(state_of("o1:zout"), state::sending_clear);
    // The retry carries what is wanted now; once confirmed nothing is repeated.
    m_timers.fire_only();
    ASSERT_EQ(m_http.m_requests.size(), 2u);
    EXPECT_EQ(m_http.m_requests[1].state(), "clear");
    ASSERT_TRUE(m_http.answer(1, 200));
    EXPECT_EQ(m_http.m_requests.size(), 2u);
    EXPECT_FALSE(m_ctx.get_alarms().is_exists("o1:zout"));
}

TEST_F(alarms_controller_state, clear_of_the_other_kind_leaves_the_alarm_alone) {
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    controller().clear_ki_alarm("o1", "zout", boost::none, at(2'000));
    EXPECT_EQ(m_ctx.get_alarms().get("o1:zout").get_state(), "set");
    EXPECT_EQ(state_of("o1:zout"), state::sending_set);
}

TEST_F(alarms_controller_state, alarms_found_at_start_wait_a_period_before_being_re_sent) {
    m_ctx.take_alarms().add(
        an_alarm("o1", "zout").sublocation("s1").mac("aa:01").level(2).text("text").at(at(500)),
        timestamp());
    m_ctx.take_alarms().add(an_alarm("o3", "zbuf")
                                .mac("aa:03")
                                .name("buffer_violation")
                                .level(5)
                                .text("text")
                                .at(at(500)),
                            timestamp());
    controller();
    EXPECT_TRUE(m_http.m_requests.empty());
    EXPECT_EQ(state_of("o1:zout"), state::set);
    const auto timers = m_timers.armed();
    ASSERT_EQ(timers.size(), 2u);
    EXPECT_EQ(timers[0]->delay, seconds(60));  // o1:zout, a zone violation
    EXPECT_EQ(timers[1]->delay, seconds(45));  // o3:zbuf, a buffer violation
    m_timers.fire(*timers[1]);
    ASSERT_EQ(m_http.m_requests.size(), 1u);
    EXPECT_EQ(m_http.m_requests[0].json()["obj_uid"], "o3");
    EXPECT_EQ(m_http.m_requests[0].state(), "set");
}

TEST_F(alarms_controller_state, histeresis_of_zero_means_never) {
    m_controller =
        std::make_unique<alarms_controller_impl>(m_ctx, m_http, m_logger, m_timers, 0, -5);
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    controller().set_ko_alarm("o3", "zbuf", event("o3", "zbuf", "enter", 1, 2, 3), at(1'000));
    ASSERT_TRUE(m_http.answer(0, 200));
    ASSERT_TRUE(m_http.answer(1, 200));
    for (const auto& t : m_timers.armed())
        EXPECT_EQ(t->delay, seconds(99'999'999));
    EXPECT_EQ(m_timers.armed().size(), 2u);
}

TEST_F(alarms_controller_state, timer_of_an_alarm_removed_meanwhile_forgets_it) {
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    ASSERT_TRUE(m_http.answer(0, 200));
    m_ctx.take_alarms().remove("o1:zout", timestamp());
    m_timers.fire_only();
    EXPECT_EQ(m_http.m_requests.size(), 1u);
    EXPECT_EQ(state_of("o1:zout"), std::nullopt);
}

TEST_F(alarms_controller_state, destroying_the_controller_abandons_its_requests_and_timers) {
    controller().set_ko_alarm("o1", "zout", event("o1", "zout", "enter", 1, 2, 3), at(1'000));
    controller().set_ki_alarm("o1", "zin", boost::none, at(1'000));
    ASSERT_TRUE(m_http.answer(0, 200));
    m_controller.reset();
    EXPECT_FALSE(m_http.answer(1, 200));
    EXPECT_TRUE(m_timers.armed().empty());
}

}  // namespace
}  // namespace zentu::test
