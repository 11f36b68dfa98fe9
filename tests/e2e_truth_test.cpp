// Alarms that follow what is true now, whatever changes: zones switched off
// and on again, objects deleted, answers that come too late, zones without a
// sublocation across a start.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/e2e_fixture.hpp"

namespace zentu {
namespace {

using namespace std::chrono_literals;

const std::string forklift = "obj-forklift-1";
const std::string yard = "zone-ki-yard";
const std::string dock = "zone-ko-dock-3";

std::vector<std::string> states(const std::vector<Json::Value>& posts) {
    std::vector<std::string> out;
    for (const auto& post : posts)
        out.push_back(post["body"]["state"].asString());
    return out;
}

bool is_open(test::e2e_environment& env, const std::string& obj, const std::string& zone) {
    for (const auto& alarm : env.open_alarms())
        if (alarm["obj_uid"] == obj && alarm["additional_info"]["zone_uid"] == zone)
            return true;
    return false;
}

class e2e_truth_test : public test::e2e_test {};

TEST_F(e2e_truth_test, keep_in_zone_switched_off_and_on_while_the_object_is_out) {
    auto& env = start(test::default_e2e_options());
    env.leave(forklift, yard, 8100, 2500, 0);
    ASSERT_EQ(env.wait_for_alarm_posts(forklift, yard, 1).size(), 1u);

    env.control("zone", test::parse_json(R"({"uid": "zone-ki-yard", "active": false})"));
    ASSERT_EQ(env.wait_for_alarm_posts(forklift, yard, 2).size(), 2u);
    env.control("zone", test::parse_json(R"({"uid": "zone-ki-yard", "active": true})"));
    const auto posts = env.wait_for_alarm_posts(forklift, yard, 3);
    EXPECT_EQ(states(posts), (std::vector<std::string>{"set", "clear", "set"}));
    EXPECT_TRUE(is_open(env, forklift, yard));
}

TEST_F(e2e_truth_test, deleted_object_takes_its_keep_out_alarm_along) {
    auto& env = start(test::default_e2e_options());
    env.enter(forklift, dock, 8500, 1000, 0);
    ASSERT_EQ(env.wait_for_alarm_posts(forklift, dock, 1).size(), 1u);

    env.control("object/delete", test::parse_json(R"({"uid": "obj-forklift-1"})"));
    const auto posts = env.wait_for_alarm_posts(forklift, dock, 2);
    EXPECT_EQ(states(posts), (std::vector<std::string>{"set", "clear"}));
    EXPECT_FALSE(is_open(env, forklift, dock));
    EXPECT_TRUE(env.wait_until(
        [&] { return env.mirror_set("marovane:alarms:set").count(forklift + ":" + dock) == 0; },
        5s));
}

TEST_F(e2e_truth_test, set_answered_too_late_is_followed_by_the_clear_wanted_now) {
    auto options = test::default_e2e_options();
    options.server_timeout_seconds = 1;
    auto& env = start(options);
    // The platform takes the set at once but answers after the service gave up.
    env.control("late",
                test::parse_json(R"({"path": "/api/private/alarms/", "ms": 2500, "count": 1})"));
    env.enter(forklift, dock, 8500, 1000, 0);
    ASSERT_TRUE(env.wait_until([&] { return is_open(env, forklift, dock); }, 5s));
    env.leave(forklift, dock, 7600, 1500, 0);

    const auto posts = env.wait_for_alarm_posts(forklift, dock, 2);
    EXPECT_EQ(states(posts), (std::vector<std::string>{"set", "clear"}));
    EXPECT_TRUE(env.wait_until([&] { return !is_open(env, forklift, dock); }, 5s));
}

TEST_F(e2e_truth_test, clear_decided_during_a_re_send_waits_for_its_answer) {
    auto options = test::default_e2e_options();
    options.edit_site = [](Json::Value& site) {
        site["alarm_types"] = test::parse_json(R"([{"name": "zone_violation", "histeresis": 1},
            {"name": "buffer_violation", "histeresis": 60}])");
    };
    auto& env = start(options);
    env.enter(forklift, dock, 8500, 1000, 0);
    ASSERT_EQ(env.wait_for_alarm_posts(forklift, dock, 1).size(), 1u);
    // The re-send a second later is taken at once but answered only later.
    env.control("late",
                test::parse_json(R"({"path": "/api/private/alarms/", "ms": 1500, "count": 1})"));
    ASSERT_EQ(env.wait_for_alarm_posts(forklift, dock, 2).size(), 2u);
    env.leave(forklift, dock, 7600, 1500, 0);

    const auto posts = env.wait_for_alarm_posts(forklift, dock, 3);
    ASSERT_EQ(states(posts), (std::vector<std::string>{"set", "set", "clear"}));
    // Never beside the re-send on the wire: the clear left once it had answered.
    EXPECT_GE(test::request_time(posts[2]) - test::request_time(posts[1]), 1400ms);
    EXPECT_TRUE(env.wait_until([&] { return !is_open(env, forklift, dock); }, 5s));
}

TEST_F(e2e_truth_test, zone_without_sublocation_keeps_its_open_alarm_at_start) {
    auto options = test::default_e2e_options();
    options.edit_site = [](Json::Value& site) {
        for (auto& zone : site["zones"]) {
            if (zone["uid"] != dock)
                continue;
            zone.removeMember("sublocation_uid");
            zone["trackables_in_zone"].append(test::parse_json(
                R"({"uid": "obj-forklift-1", "entered": {"x": 8500, "y": 1000, "z": 0,
                    "time": "2026-12-01T08:10:00.000Z"}})"));
        }
        site["alarms"].append(test::parse_json(R"({"uid": "alarm-forklift-dock",
            "obj_uid": "obj-forklift-1", "mac_address": "02:00:00:00:00:01",
            "alarm_name": "zone_violation", "ts": "2026-12-01T08:10:00.000Z",
            "additional_info": {"text": "Keep out zone Dock 3 with zone alarm level 2",
                "zone_alarm_level": 2, "zone_violation_type": "keep_out",
                "zone_uid": "zone-ko-dock-3"}})"));
    };
    auto& env = start(options);
    // Running and settled: the stale alarm of the site was cleared meanwhile.
    ASSERT_EQ(env.wait_for_alarm_posts("obj-worker-7", dock, 1).size(), 1u);
    EXPECT_TRUE(env.alarm_posts(forklift, dock).empty());
    EXPECT_TRUE(is_open(env, forklift, dock));

    env.leave(forklift, dock, 7600, 1500, 0);
    const auto posts = env.wait_for_alarm_posts(forklift, dock, 1);
    EXPECT_EQ(states(posts), (std::vector<std::string>{"clear"}));
}

}  // namespace
}  // namespace zentu
