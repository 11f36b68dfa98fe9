#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "alarms_fakes.hpp"
#include "context/context.hpp"
#include "context/pair_uid.hpp"
#include "delivery/alarms_controller_impl.hpp"
#include "generators/alarms_generator.hpp"
#include "support/records.hpp"

namespace zentu::test {
namespace {

using context::alarm_type;
using context::zone_type;
using libs::core::timestamp;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

timestamp at(long long ms) {
    return timestamp(std::chrono::milliseconds(ms));
}

// The real context and controller; the platform is a fake HTTP client that
// accepts every alarm request the moment the test looks at the traffic.
class alarms_generator_scenarios : public ::testing::Test {
protected:
    // A zone or object created, or replaced, a tick later than the change before.
    template <typename Builder>
    void add(const Builder& record) {
        site(m_ctx).add(record, tick());
    }
    template <typename F>
    void change_zone(const std::string& uid, F change) {
        auto handle = m_ctx.take_zones().try_get(uid, tick());
        change(**handle);
    }
    template <typename F>
    void change_object(const std::string& uid, F change) {
        auto handle = m_ctx.take_trackable_objects().try_get(uid, tick());
        change(**handle);
    }

    // What the context updater does with a zone event message: create the
    // pair's event or overwrite it in place.
    void move(const std::string& obj, const std::string& zone_uid, const std::string& action,
              std::optional<zone_type> type = std::nullopt) {
        const auto uid = context::pair_uid(obj, zone_uid);
        const auto zone = m_ctx.get_zones().try_get(zone_uid);
        const auto zt = type ? *type : zone ? zone->get_type() : zone_type::UNKNOWN;
        const auto ts = tick();
        if (auto handle = m_ctx.take_zone_events().try_get(uid, ts)) {
            (*handle)->set_action(action);
            (*handle)->set_zone_type(zt);
            (*handle)->set_ts(ts);
            return;
        }
        m_ctx.take_zone_events().add(a_movement(obj, zone_uid)
                                         .at(ts)
                                         .sublocation("s1")
                                         .type(zt)
                                         .action(action)
                                         .position(1, 2, 3),
                                     ts);
    }

    void start() {
        m_controller =
            std::make_unique<alarms_controller_impl>(m_ctx, m_http, m_logger, m_timers, 60, 60);
        m_generator = std::make_unique<alarms_generator>(m_ctx, *m_controller);
    }

    // "<state> <object>:<zone>" of every request sent since the last look;
    // all of them are then accepted by the platform.
    std::vector<std::string> posts() {
        std::vector<std::string> out;
        for (; m_seen < m_http.m_requests.size(); ++m_seen) {
            const auto body = m_http.m_requests[m_seen].json();
            out.push_back(body["state"].asString() + " " + body["obj_uid"].asString() + ":" +
                          body["additional_info"]["zone_uid"].asString() + " " +
                          body["additional_info"]["zone_violation_type"].asString());
            m_http.answer(m_seen, 200);
        }
        return out;
    }
    std::vector<std::string> alarms() const {
        std::vector<std::string> out;
        for (const auto& a : m_ctx.get_alarms().get_range())
            out.push_back(a.get_uid() + " " + a.get_state());
        return out;
    }
    std::optional<std::string> event_action(const std::string& obj, const std::string& zone) {
        const auto e = m_ctx.get_zone_events().try_get(context::pair_uid(obj, zone));
        if (!e)
            return std::nullopt;
        return e->get_action();
    }
    timestamp tick() { return m_now = m_now + std::chrono::milliseconds(1000); }

    context::writable_context m_ctx;
    fake_http_client m_http;
    fake_timers m_timers;
    libs::core::logger m_logger{"marovane-test", "generator"};
    std::unique_ptr<alarms_controller_impl> m_controller;
    std::unique_ptr<alarms_generator> m_generator;
    std::size_t m_seen = 0;
    timestamp m_now = at(1'700'000'000'000);
};

TEST_F(alarms_generator_scenarios, object_leaving_its_only_keep_in_zone_raises_until_it_returns) {
    add(a_zone("A"));
    add(a_zone("K").keep_out());  // a set for it is ignored by the controller
    add(an_object("o1"));
    start();
    move("o1", "A", "enter");
    EXPECT_THAT(posts(), IsEmpty());

    move("o1", "A", "leave");
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in"));
    EXPECT_EQ(event_action("o1", "A"), "leave");

    move("o1", "A", "enter");
    EXPECT_THAT(posts(), ElementsAre("clear o1:A keep_in"));
    EXPECT_THAT(alarms(), IsEmpty());
    EXPECT_EQ(event_action("o1", "A"), "enter");
}

TEST_F(alarms_generator_scenarios, object_in_two_keep_in_zones_is_alarmed_only_after_leaving_both) {
    add(a_zone("A"));
    add(a_zone("B"));
    add(an_object("o1"));
    start();
    move("o1", "A", "enter");
    move("o1", "B", "enter");

    move("o1", "A", "leave");
    EXPECT_THAT(posts(), IsEmpty());
    EXPECT_EQ(event_action("o1", "A"), "leave");

    move("o1", "B", "leave");
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in", "set o1:B keep_in"));

    move("o1", "B", "enter");
    EXPECT_THAT(posts(), ElementsAre("clear o1:A keep_in", "clear o1:B keep_in"));
    EXPECT_THAT(alarms(), IsEmpty());
}

TEST_F(alarms_generator_scenarios, keep_in_zone_never_entered_counts_as_not_left) {
    add(a_zone("A"));
    add(a_zone("B"));
    add(an_object("o1"));
    start();
    move("o1", "A", "enter");
    move("o1", "A", "leave");
    EXPECT_THAT(posts(), IsEmpty());
    move("o1", "B", "leave");
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in", "set o1:B keep_in"));
}

TEST_F(alarms_generator_scenarios, entering_a_zone_that_does_not_count_keeps_the_alarm) {
    add(a_zone("A"));
    add(a_zone("I").active(false));       // inactive
    add(a_zone("X").project("p2"));       // another project
    add(a_zone("E").exceptions({"o1"}));  // o1 is exempt
    add(a_zone("K").keep_out());
    add(an_object("o1"));
    start();
    move("o1", "A", "leave");
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in"));
    move("o1", "I", "enter");
    move("o1", "X", "enter");
    move("o1", "E", "enter");
    move("o1", "K", "enter", zone_type::KEEP_IN);  // mislabelled by the message
    EXPECT_THAT(posts(), IsEmpty());
    EXPECT_THAT(alarms(), ElementsAre("o1:A set"));

    move("o1", "A", "enter");
    EXPECT_THAT(posts(), ElementsAre("clear o1:A keep_in"));
}

TEST_F(alarms_generator_scenarios, entering_an_unknown_zone_keeps_the_alarm) {
    add(a_zone("A"));
    add(an_object("o1"));
    start();
    move("o1", "A", "leave");
    posts();
    // Still outside every keep-in zone the service knows; the movement is not kept.
    move("o1", "ghost", "enter", zone_type::KEEP_IN);
    EXPECT_THAT(posts(), IsEmpty());
    EXPECT_EQ(event_action("o1", "ghost"), std::nullopt);
}

TEST_F(alarms_generator_scenarios, keep_out_enter_raises_and_leave_clears) {
    add(a_zone("K").keep_out());
    add(an_object("o1"));
    start();
    move("o1", "K", "enter");
    EXPECT_THAT(posts(), ElementsAre("set o1:K keep_out"));
    EXPECT_EQ(event_action("o1", "K"), "enter");
    move("o1", "K", "leave");
    EXPECT_THAT(posts(), ElementsAre("clear o1:K keep_out"));
    EXPECT_EQ(event_action("o1", "K"), std::nullopt);
    EXPECT_THAT(alarms(), IsEmpty());
}

TEST_F(alarms_generator_scenarios, keep_out_ignores_zone_state_and_responsiveness) {
    add(a_zone("K").keep_out().active(false));
    add(an_object("o1").responsive(false));
    start();
    move("o1", "K", "enter");
    EXPECT_THAT(posts(), ElementsAre("set o1:K keep_out"));
    // An entry of an object the context does not know yet waits for its "created".
    move("stranger", "K", "enter");
    EXPECT_THAT(posts(), IsEmpty());
    add(an_object("stranger"));
    EXPECT_THAT(posts(), ElementsAre("set stranger:K keep_out"));
}

TEST_F(alarms_generator_scenarios, object_without_mac_has_no_alarm_until_it_gets_one) {
    add(a_zone("A"));
    add(a_zone("K").keep_out());
    add(an_object("o1").mac(std::nullopt));
    start();
    move("o1", "A", "leave");
    move("o1", "K", "enter");
    EXPECT_THAT(posts(), IsEmpty());

    change_object("o1", [](auto& o) { o.set_mac_address(std::string("aa:01")); });
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in", "set o1:K keep_out"));

    // Losing it clears both kinds, with the MAC the platform was told.
    change_object("o1", [](auto& o) { o.set_mac_address(std::nullopt); });
    ASSERT_EQ(m_http.m_requests.size(), 4u);
    EXPECT_EQ(m_http.m_requests[3].json()["mac_address"], "aa:01");
    EXPECT_THAT(posts(), ElementsAre("clear o1:A keep_in", "clear o1:K keep_out"));
    move("o1", "K", "leave");
    move("o1", "K", "enter");
    EXPECT_THAT(posts(), IsEmpty());
    EXPECT_THAT(alarms(), IsEmpty());
}

TEST_F(alarms_generator_scenarios, exempt_group_is_never_alarmed_by_a_keep_in_zone) {
    add(a_zone("A").exceptions_groups({"visitors"}));
    add(an_object("guest").mac(std::string("aa:01")).groups({"staff", "visitors"}));
    add(an_object("worker").mac(std::string("aa:02")).groups({"staff"}));
    start();
    move("guest", "A", "enter");
    move("worker", "A", "enter");
    move("guest", "A", "leave");
    EXPECT_THAT(posts(), IsEmpty());
    EXPECT_EQ(event_action("guest", "A"), "leave");  // kept: where it is still counts
    move("worker", "A", "leave");
    EXPECT_THAT(posts(), ElementsAre("set worker:A keep_in"));
}

TEST_F(alarms_generator_scenarios, default_allowed_zone_applies_only_to_its_exceptions) {
    add(a_zone("A").default_allowed(true).exceptions({"o1"}));
    add(a_zone("Z").default_allowed(true));  // applies to nobody
    add(an_object("o1"));
    add(an_object("o2"));
    start();
    move("o1", "A", "leave");
    move("o2", "A", "leave");
    move("o2", "Z", "leave");
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in"));
}

TEST_F(alarms_generator_scenarios, zones_of_another_project_do_not_count) {
    add(a_zone("A"));
    add(a_zone("X").project("p2"));
    add(an_object("o1"));
    start();
    move("o1", "A", "leave");
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in"));
}

TEST_F(alarms_generator_scenarios, inactive_keep_in_zones_neither_raise_nor_hold_back) {
    add(a_zone("A"));
    add(a_zone("I").active(false));
    add(an_object("o1"));
    start();
    move("o1", "I", "enter");
    move("o1", "I", "leave");
    EXPECT_THAT(posts(), IsEmpty());
    EXPECT_EQ(event_action("o1", "I"), "leave");
    move("o1", "A", "leave");
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in"));
}

TEST_F(alarms_generator_scenarios, unresponsive_or_unnamed_object_is_never_alarmed) {
    add(a_zone("A"));
    add(an_object("mute").responsive(false));
    add(an_object("nomac").mac(std::nullopt));
    start();
    move("mute", "A", "leave");
    move("nomac", "A", "leave");
    EXPECT_THAT(posts(), IsEmpty());
    EXPECT_EQ(event_action("mute", "A"), "leave");
    EXPECT_EQ(event_action("nomac", "A"), "leave");
}

TEST_F(alarms_generator_scenarios, object_going_silent_clears_its_keep_in_alarm) {
    add(a_zone("A"));
    add(a_zone("B"));
    add(an_object("o1"));
    start();
    move("o1", "B", "enter");
    move("o1", "A", "leave");
    move("o1", "B", "leave");
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in", "set o1:B keep_in"));
    move("o1", "B", "enter");
    posts();
    move("o1", "B", "leave");
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in", "set o1:B keep_in"));

    change_object("o1", [](auto& o) { o.set_responsive(false); });
    EXPECT_THAT(posts(), ElementsAre("clear o1:A keep_in", "clear o1:B keep_in"));
    EXPECT_EQ(event_action("o1", "A"), "leave");
    EXPECT_EQ(event_action("o1", "B"), "leave");

    // Answering again while still outside raises them again.
    change_object("o1", [](auto& o) { o.set_responsive(true); });
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in", "set o1:B keep_in"));
}

TEST_F(alarms_generator_scenarios, deactivated_zone_clears_only_objects_that_left_it) {
    add(a_zone("A"));
    add(an_object("o1"));
    add(an_object("o2"));
    start();
    move("o1", "A", "leave");
    move("o2", "A", "enter");
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in"));

    change_zone("A", [](auto& z) { z.set_active(false); });
    EXPECT_THAT(posts(), ElementsAre("clear o1:A keep_in"));
    EXPECT_EQ(event_action("o1", "A"), "leave");
    EXPECT_EQ(event_action("o2", "A"), "enter");

    // Active again while o1 is still outside: raised again.
    change_zone("A", [](auto& z) { z.set_active(true); });
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in"));
}

TEST_F(alarms_generator_scenarios, zone_change_drops_pairs_it_no_longer_applies_to) {
    add(a_zone("A"));
    add(an_object("o1").mac(std::string("aa:01")).groups({"g1"}));
    start();
    move("o1", "A", "leave");
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in"));
    change_zone("A", [](auto& z) { z.set_exceptions_groups({"g1"}); });
    EXPECT_THAT(posts(), ElementsAre("clear o1:A keep_in"));
    EXPECT_EQ(event_action("o1", "A"), "leave");
    change_object("o1", [](auto& o) { o.get_groups().clear(); });
    EXPECT_THAT(posts(), ElementsAre("set o1:A keep_in"));
}

TEST_F(alarms_generator_scenarios, deleted_object_or_zone_clears_its_alarms) {
    add(a_zone("A"));
    add(a_zone("B"));
    add(an_object("o1"));
    add(an_object("o2"));
    start();
    move("o1", "A", "leave");
    move("o1", "B", "leave");
    move("o2", "A", "leave");
    move("o2", "B", "leave");
    posts();
    m_ctx.take_trackable_objects().remove("o1", tick());
    EXPECT_THAT(posts(), ElementsAre("clear o1:A keep_in", "clear o1:B keep_in"));
    m_ctx.take_zones().remove("B", tick());
    EXPECT_THAT(posts(), ElementsAre("clear o2:B keep_in"));
    EXPECT_THAT(alarms(), ElementsAre("o2:A set"));
}

TEST_F(alarms_generator_scenarios, object_inside_one_zone_is_alarmed_for_the_other_when_it_goes) {
    add(a_zone("A"));
    add(a_zone("B"));
    add(an_object("o1"));
    start();
    move("o1", "A", "enter");
    move("o1", "B", "leave");
    EXPECT_THAT(posts(), IsEmpty());

    change_zone("A", [](auto& z) { z.set_active(false); });
    EXPECT_THAT(posts(), ElementsAre("set o1:B keep_in"));
    change_zone("A", [](auto& z) { z.set_active(true); });
    EXPECT_THAT(posts(), ElementsAre("clear o1:B keep_in"));
    m_ctx.take_zones().remove("A", tick());
    EXPECT_THAT(posts(), ElementsAre("set o1:B keep_in"));
}

TEST_F(alarms_generator_scenarios, keep_out_alarms_go_with_their_zone_or_object) {
    add(a_zone("K").keep_out());
    add(a_zone("L").keep_out());
    add(an_object("o1"));
    add(an_object("o2"));
    start();
    move("o1", "K", "enter");
    move("o2", "L", "enter");
    EXPECT_THAT(posts(), ElementsAre("set o1:K keep_out", "set o2:L keep_out"));

    m_ctx.take_zones().remove("K", tick());
    m_ctx.take_trackable_objects().remove("o2", tick());
    EXPECT_THAT(posts(), ElementsAre("clear o1:K keep_out", "clear o2:L keep_out"));
    EXPECT_THAT(alarms(), IsEmpty());
    EXPECT_TRUE(m_timers.armed().empty());  // nothing is sent again
    EXPECT_EQ(event_action("o1", "K"), std::nullopt);
    EXPECT_EQ(event_action("o2", "L"), std::nullopt);
}

TEST_F(alarms_generator_scenarios, zone_changing_its_kind_takes_the_old_alarms_along) {
    add(a_zone("A"));
    add(a_zone("K").keep_out());
    add(an_object("o1"));
    add(an_object("o2"));
    start();
    move("o1", "K", "enter");
    move("o2", "K", "leave");  // the event goes, where o2 is stays known
    move("o1", "A", "leave");
    move("o2", "A", "leave");
    EXPECT_THAT(posts(), ElementsAre("set o1:K keep_out", "set o1:A keep_in", "set o2:A keep_in"));
    EXPECT_EQ(event_action("o2", "K"), std::nullopt);

    // K becomes keep-in: its keep-out alarm goes; o1, inside K, is no longer
    // outside every keep-in zone, o2 is outside K too.
    change_zone("K", [](auto& z) { z.set_type(zone_type::KEEP_IN); });
    EXPECT_THAT(posts(),
                ElementsAre("clear o1:K keep_out", "clear o1:A keep_in", "set o2:K keep_in"));

    // A becomes keep-out: its keep-in alarm goes, K's stays.
    change_zone("A", [](auto& z) { z.set_type(zone_type::KEEP_OUT); });
    EXPECT_THAT(posts(), ElementsAre("clear o2:A keep_in"));
    move("o2", "A", "enter", zone_type::KEEP_OUT);
    EXPECT_THAT(posts(), ElementsAre("set o2:A keep_out"));
}

TEST_F(alarms_generator_scenarios, movements_in_other_zone_kinds_are_dropped) {
    add(a_zone("N").type(zone_type::INFORM));
    add(an_object("o1"));
    start();
    move("o1", "N", "enter");
    EXPECT_EQ(event_action("o1", "N"), std::nullopt);
    EXPECT_THAT(posts(), IsEmpty());
}

TEST_F(alarms_generator_scenarios, start_up_settles_the_state_found_on_the_platform) {
    add(a_zone("A"));
    add(a_zone("K").keep_out());
    add(a_zone("N").type(zone_type::ONE_WAY));
    for (const char* o : {"o1", "o2", "o3", "o4", "o5"})
        add(an_object(o));
    move("o1", "A", "leave");  // still outside: its alarm stays as it is
    move("o2", "A", "enter");  // back inside: its alarm is cleared
    move("o4", "K", "enter");  // still inside a keep-out zone
    move("o5", "K", "leave");  // left it: the alarm is cleared
    move("o1", "N", "enter");  // of no interest
    auto open = [&](const std::string& obj, const std::string& zone, alarm_type type) {
        m_ctx.take_alarms().add(an_alarm(obj, zone)
                                    .kind(type)
                                    .sublocation("s1")
                                    .mac("aa:00")
                                    .text("text")
                                    .at(at(1))
                                    .position(0, 0, 0),
                                at(1));
    };
    open("o1", "A", alarm_type::ki);
    open("o2", "A", alarm_type::ki);
    open("o3", "K", alarm_type::ko);  // no movement known at all
    open("o4", "K", alarm_type::ko);
    open("o5", "K", alarm_type::ko);

    start();
    EXPECT_THAT(posts(), UnorderedElementsAre("clear o2:A keep_in", "clear o3:K keep_out",
                                              "clear o5:K keep_out"));
    EXPECT_THAT(alarms(), ElementsAre("o1:A set", "o4:K set"));
    EXPECT_EQ(event_action("o1", "N"), std::nullopt);
    EXPECT_EQ(event_action("o5", "K"), std::nullopt);
    EXPECT_EQ(event_action("o1", "A"), "leave");
    EXPECT_EQ(m_controller->get_state("o1:A"), alarms_controller_impl::alarm_state::set);
}

TEST_F(alarms_generator_scenarios, start_up_clears_a_platform_alarm_of_the_other_kind) {
    add(a_zone("K").keep_out());  // was keep-in when the platform's alarm was raised
    add(a_zone("A"));             // was keep-out
    add(an_object("o1"));
    add(an_object("o2"));
    change_object("o2", [](auto& o) { o.set_sublocation_uid(std::nullopt); });
    move("o1", "K", "enter");
    move("o2", "A", "leave");
    auto open = [&](const std::string& obj, const std::string& zone, alarm_type type) {
        m_ctx.take_alarms().add(an_alarm(obj, zone)
                                    .kind(type)
                                    .sublocation("s1")
                                    .mac("aa:00")
                                    .text("text")
                                    .at(at(1))
                                    .position(0, 0, 0),
                                at(1));
    };
    open("o1", "K", alarm_type::ki);
    open("o2", "A", alarm_type::ko);

    start();
    // Each old kind is cleared before the zone's kind is raised.
    EXPECT_THAT(posts(), ElementsAre("clear o1:K keep_in", "clear o2:A keep_out",
                                     "set o1:K keep_out", "set o2:A keep_in"));
    // Raised by settling: the object's own sublocation, none here.
    EXPECT_TRUE(m_http.m_requests[3].json()["sublocation_uid"].isNull());
    EXPECT_THAT(alarms(), ElementsAre("o1:K set", "o2:A set"));
}

TEST_F(alarms_generator_scenarios, start_up_clears_a_keep_in_alarm_of_an_object_now_inside) {
    add(a_zone("A"));
    add(a_zone("B"));
    add(an_object("o1"));
    move("o1", "A", "leave");
    move("o1", "B", "enter");
    m_ctx.take_alarms().add(
        an_alarm("o1", "A").keep_in().mac("aa:00").text("text").at(at(1)).position(0, 0, 0), at(1));
    start();
    EXPECT_THAT(posts(), ElementsAre("clear o1:A keep_in"));
    EXPECT_THAT(alarms(), IsEmpty());
}

TEST_F(alarms_generator_scenarios, open_keep_out_alarm_with_a_leave_is_cleared_at_the_leave_time) {
    add(a_zone("K").keep_out());
    add(an_object("o1"));
    m_ctx.take_zone_events().add(
        a_movement("o1", "K").at(at(1'650'000'000'250)).sublocation("s1").keep_out().leave(),
        at(1));
    const auto& open = m_ctx.take_alarms().add(
        an_alarm("o1", "K").mac("aa:00").text("text").at(at(1)).position(0, 0, 0), at(1));
    m_controller =
        std::make_unique<alarms_controller_impl>(m_ctx, m_http, m_logger, m_timers, 60, 60);
    ko_alarms_generator(m_ctx, *m_controller).on_initialization(open, m_now);
    ASSERT_EQ(m_http.m_requests.size(), 1u);
    const auto body = m_http.m_requests[0].json();
    EXPECT_EQ(body["state"], "clear");
    EXPECT_EQ(body["ts"], 1'650'000'000);
    EXPECT_EQ(body["ms"], 250);
}

TEST_F(alarms_generator_scenarios, destroyed_generator_stops_listening) {
    add(a_zone("A"));
    add(an_object("o1"));
    start();
    m_generator.reset();
    move("o1", "A", "leave");
    EXPECT_THAT(posts(), IsEmpty());
}

}  // namespace
}  // namespace zentu::test
