// The daemon against the platform simulator and a real Redis: zone events on
// the message stream become alarm POSTs with exact bodies.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/e2e_fixture.hpp"

namespace zentu {
namespace {

using namespace std::chrono_literals;
using test::canonical;

const std::string forklift = "obj-forklift-1";
const std::string visitor = "obj-visitor-2";
const std::string worker = "obj-worker-7";
const std::string yard = "zone-ki-yard";
const std::string dock = "zone-ko-dock-3";

struct alarm_of {
    std::string obj;
    std::string mac;
    std::string zone;
    unsigned level;
    std::string text;
    std::string violation_type;
};

const alarm_of forklift_in_dock{
    forklift,  "02:00:00:00:00:01", dock, 2, "Keep out zone Dock 3 with zone alarm level 2",
    "keep_out"};
const alarm_of forklift_out_of_yard{
    forklift, "02:00:00:00:00:01", yard, 1, "Keep in zone Yard with zone alarm level 1", "keep_in"};

// The request the platform must receive for an alarm caused by a zone event.
Json::Value request_body(const alarm_of& alarm, const std::string& state, const Json::Value& event,
                         const std::string& alarm_name = "zone_violation") {
    Json::Value body(Json::objectValue);
    body["obj_uid"] = alarm.obj;
    body["mac_address"] = alarm.mac;
    body["alarm_name"] = alarm_name;
    body["state"] = state;
    body["obj_class"] = "TO";
    for (const char* key : {"ts", "ms", "x", "y", "z", "sublocation_uid"})
        body[key] = event[key];
    auto& info = body["additional_info"];
    info["zone_alarm_level"] = alarm.level;
    info["zone_uid"] = alarm.zone;
    info["text"] = alarm.text;
    info["zone_violation_type"] = alarm.violation_type;
    return body;
}

bool has_open_alarm(const Json::Value& open, const std::string& obj, const std::string& zone) {
    for (const auto& alarm : open)
        if (alarm["obj_uid"] == obj && alarm["additional_info"]["zone_uid"] == zone)
            return true;
    return false;
}

class e2e_alarms_test : public test::e2e_test {};

TEST_F(e2e_alarms_test, keep_out_entry_sets_and_exit_clears_the_alarm) {
    auto& env = start(test::default_e2e_options());
    const std::string key = "marovane:alarms:" + forklift + ":" + dock;

    const auto entered = env.enter(forklift, dock, 8500, 1000, 0);
    auto posts = env.wait_for_alarm_posts(forklift, dock, 1);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(canonical(posts[0]["body"]),
              canonical(request_body(forklift_in_dock, "set", entered)));
    EXPECT_EQ(posts[0]["outcome"], "accepted");
    EXPECT_TRUE(has_open_alarm(env.open_alarms(), forklift, dock));
    EXPECT_TRUE(env.wait_until([&] { return env.mirror_hash(key)["state"] == "set"; }, 5s));
    EXPECT_EQ(env.mirror_set("marovane:alarms:set").count(forklift + ":" + dock), 1u);

    const auto left = env.leave(forklift, dock, 7600, 1500, 0);
    posts = env.wait_for_alarm_posts(forklift, dock, 2);
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(canonical(posts[1]["body"]),
              canonical(request_body(forklift_in_dock, "clear", left)));
    EXPECT_EQ(posts[1]["outcome"], "accepted");
    EXPECT_FALSE(has_open_alarm(env.open_alarms(), forklift, dock));
    // Once the platform took the clear, the alarm is forgotten, also in the mirror.
    EXPECT_TRUE(env.wait_until([&] { return env.mirror_hash(key).empty(); }, 5s));
    EXPECT_EQ(env.mirror_set("marovane:alarms:set").count(forklift + ":" + dock), 0u);
}

TEST_F(e2e_alarms_test, keep_in_exit_from_the_only_applicable_zone_and_return) {
    auto& env = start(test::default_e2e_options());

    const auto left = env.leave(forklift, yard, 8100, 2500, 0);
    auto posts = env.wait_for_alarm_posts(forklift, yard, 1);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(canonical(posts[0]["body"]),
              canonical(request_body(forklift_out_of_yard, "set", left)));
    EXPECT_TRUE(has_open_alarm(env.open_alarms(), forklift, yard));

    const auto back = env.enter(forklift, yard, 7900, 2400, 0);
    posts = env.wait_for_alarm_posts(forklift, yard, 2);
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(canonical(posts[1]["body"]),
              canonical(request_body(forklift_out_of_yard, "clear", back)));
    EXPECT_EQ(posts[1]["outcome"], "accepted");
    EXPECT_FALSE(has_open_alarm(env.open_alarms(), forklift, yard));

    // The keep-in sets for the keep-out zones (which also apply to the object)
    // must not reach the platform.
    std::size_t forklift_posts = 0;
    for (const auto& post : env.alarm_posts())
        forklift_posts += post["body"]["obj_uid"] == forklift;
    EXPECT_EQ(forklift_posts, 2u);
}

TEST_F(e2e_alarms_test, object_exempt_by_group_is_alarmed_once_it_leaves_the_group_while_outside) {
    auto& env = start(test::default_e2e_options());

    env.enter(visitor, yard, 100, 100, 0);
    env.leave(visitor, yard, 8100, 100, 0);
    // A non-exempt object after it: once its alarm arrived, the visitor's
    // events were handled too.
    env.leave(forklift, yard, 8100, 2500, 0);
    ASSERT_EQ(env.wait_for_alarm_posts(forklift, yard, 1).size(), 1u);
    for (const auto& post : env.alarm_posts())
        EXPECT_NE(post["body"]["obj_uid"], visitor) << canonical(post);

    Json::Value change = test::parse_json(R"({"project_uid": "proj-warehouse",
        "remove": [{"group": "grp-visitors", "obj": "obj-visitor-2"}]})");
    env.control("groups", change);
    // Still outside the yard: alarmed as soon as the zone applies to it.
    auto posts = env.wait_for_alarm_posts(visitor, yard, 1);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0]["body"]["state"], "set");
    env.enter(visitor, yard, 100, 100, 0);
    const auto left = env.leave(visitor, yard, 8100, 100, 0);
    posts = env.wait_for_alarm_posts(visitor, yard, 3);
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_EQ(posts[1]["body"]["state"], "clear");
    alarm_of expected = forklift_out_of_yard;
    expected.obj = visitor;
    expected.mac = "02:00:00:00:00:02";
    EXPECT_EQ(canonical(posts[2]["body"]), canonical(request_body(expected, "set", left)));
}

TEST_F(e2e_alarms_test, rejected_post_is_sent_again_a_second_later) {
    auto& env = start(test::default_e2e_options());
    // The start-up clear must not take the injected failure.
    ASSERT_EQ(env.wait_for_alarm_posts(worker, dock, 1).size(), 1u);
    env.control("fail", test::parse_json(R"({"path": "/api/private/alarms/", "status": 503,
                                            "count": 1, "body": {"detail": "busy now"}})"));

    const auto entered = env.enter(forklift, dock, 8500, 1000, 0);
    const auto posts = env.wait_for_alarm_posts(forklift, dock, 2);
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts[0]["status"], 503);
    EXPECT_EQ(posts[0]["outcome"], "injected");
    EXPECT_EQ(posts[1]["status"], 200);
    EXPECT_EQ(posts[1]["outcome"], "accepted");
    const auto expected = canonical(request_body(forklift_in_dock, "set", entered));
    EXPECT_EQ(canonical(posts[0]["body"]), expected);
    EXPECT_EQ(canonical(posts[1]["body"]), expected);
    const auto gap = test::request_time(posts[1]) - test::request_time(posts[0]);
    EXPECT_GE(gap, 950ms);
    EXPECT_LT(gap, 3s);
    EXPECT_TRUE(has_open_alarm(env.open_alarms(), forklift, dock));
    // The failure is logged with the platform's answer.
    EXPECT_NE(env.service_output().find(R"({"detail":"busy now"})"), std::string::npos);
}

TEST_F(e2e_alarms_test, zone_around_an_object_created_while_running_raises_buffer_violations) {
    auto& env = start(test::default_e2e_options());
    env.control("zone", test::parse_json(R"({"uid": "zone-ko-around-worker",
        "name": "Around worker", "project_uid": "proj-warehouse",
        "sublocation_uid": "sl-ground-floor", "zone_type_name": "keep_out",
        "zone_alarm_level": 3, "trackable_object_uid": "obj-worker-7"})"));
    // The zone is known once the mirror has it.
    ASSERT_TRUE(env.wait_until(
        [&] { return env.mirror_set("marovane:zones:set").count("zone-ko-around-worker") > 0; },
        5s));

    const auto entered = env.enter(forklift, "zone-ko-around-worker", 10200, 2000, 0);
    const auto posts = env.wait_for_alarm_posts(forklift, "zone-ko-around-worker", 1);
    ASSERT_EQ(posts.size(), 1u);
    const alarm_of expected{forklift,
                            "02:00:00:00:00:01",
                            "zone-ko-around-worker",
                            3,
                            "Keep out zone Around worker with zone alarm level 3",
                            "keep_out"};
    EXPECT_EQ(canonical(posts[0]["body"]),
              canonical(request_body(expected, "set", entered, "buffer_violation")));
}

TEST_F(e2e_alarms_test, malformed_zone_event_is_logged_and_the_service_goes_on) {
    auto& env = start(test::default_e2e_options());
    env.control("publish", test::parse_json(R"({"raw": "#zone_event{not json"})"));
    const auto entered = env.enter(forklift, dock, 8500, 1000, 0);
    const auto posts = env.wait_for_alarm_posts(forklift, dock, 1);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(canonical(posts[0]["body"]),
              canonical(request_body(forklift_in_dock, "set", entered)));
    EXPECT_TRUE(env.service().wait_for_output("check failed: parse_result.ok", 0ms));
    EXPECT_TRUE(env.service().running());
}

TEST_F(e2e_alarms_test, platform_alarm_whose_object_left_the_zone_is_cleared_at_start) {
    const auto before = libs::core::timestamp::current_time();
    auto& env = start(test::default_e2e_options());

    const auto posts = env.wait_for_alarm_posts(worker, dock, 1);
    ASSERT_EQ(posts.size(), 1u);
    auto body = posts[0]["body"];
    // Cleared now, where the platform last saw the object.
    const auto cleared_at = libs::core::timestamp(
        std::chrono::milliseconds(body["ts"].asInt64() * 1000 + body["ms"].asInt64()));
    EXPECT_GE(cleared_at - before, -1000ms);
    EXPECT_LE(cleared_at - test::request_time(posts[0]), 1000ms);
    body.removeMember("ts");
    body.removeMember("ms");
    EXPECT_EQ(canonical(body), canonical(test::parse_json(R"({
        "obj_uid": "obj-worker-7", "mac_address": "02:00:00:00:00:07",
        "alarm_name": "zone_violation", "state": "clear", "obj_class": "TO",
        "x": 8600, "y": 900, "z": 0, "sublocation_uid": "sl-ground-floor",
        "additional_info": {"zone_alarm_level": 2, "zone_uid": "zone-ko-dock-3",
                            "text": "Keep out zone Dock 3 with zone alarm level 2",
                            "zone_violation_type": "keep_out"}})")));
    EXPECT_EQ(posts[0]["outcome"], "accepted");
    EXPECT_EQ(env.open_alarms().size(), 0u);
    EXPECT_TRUE(env.wait_until([&] { return env.mirror_set("marovane:alarms:set").empty(); }, 5s));
}

TEST_F(e2e_alarms_test, keep_in_state_found_at_start) {
    auto options = test::default_e2e_options();
    options.edit_site = [](Json::Value& site) {
        // Nobody inside the keep-in zones.
        for (auto& zone : site["zones"])
            zone["trackables_in_zone"] = Json::Value(Json::arrayValue);
        // Open on the platform: the forklift is still out of the yard, the
        // visitor is exempt from it.
        for (const auto& [obj, mac] :
             {std::pair{forklift, "02:00:00:00:00:01"}, std::pair{visitor, "02:00:00:00:00:02"}}) {
            auto alarm = test::parse_json(R"({"alarm_name": "zone_violation",
                "additional_info": {"text": "Keep in zone Yard with zone alarm level 1",
                    "zone_alarm_level": 1, "zone_violation_type": "keep_in",
                    "zone_uid": "zone-ki-yard"},
                "ts": "2026-12-01T07:55:10.250Z", "sublocation_uid": "sl-ground-floor",
                "x": 1, "y": 2, "z": 0})");
            alarm["uid"] = "alarm-" + obj;
            alarm["obj_uid"] = obj;
            alarm["mac_address"] = mac;
            site["alarms"].append(alarm);
        }
    };
    auto& env = start(options);

    // The worker is out of both keep-in zones that apply to it.
    for (const auto& [zone, text] : {std::pair{yard, "Keep in zone Yard with zone alarm level 1"},
                                     std::pair{std::string("zone-ki-office"),
                                               "Keep in zone Office with zone alarm level 1"}}) {
        const auto posts = env.wait_for_alarm_posts(worker, zone, 1);
        ASSERT_EQ(posts.size(), 1u) << zone;
        const auto& body = posts[0]["body"];
        EXPECT_EQ(body["state"], "set");
        EXPECT_EQ(body["additional_info"]["text"], text);
        EXPECT_EQ(body["additional_info"]["zone_violation_type"], "keep_in");
        EXPECT_EQ(body["sublocation_uid"], "sl-ground-floor");
        EXPECT_EQ(body["x"], 0);
        EXPECT_EQ(body["y"], 0);
        EXPECT_EQ(body["z"], 0);
    }
    const auto visitor_posts = env.wait_for_alarm_posts(visitor, yard, 1);
    ASSERT_EQ(visitor_posts.size(), 1u);
    EXPECT_EQ(visitor_posts[0]["body"]["state"], "clear");
    // The forklift's alarm stays as the platform has it: nothing is sent.
    EXPECT_TRUE(env.alarm_posts(forklift, yard).empty());
    EXPECT_TRUE(has_open_alarm(env.open_alarms(), forklift, yard));
    EXPECT_FALSE(has_open_alarm(env.open_alarms(), visitor, yard));

    // Back in the yard, the forklift's alarm is cleared.
    const auto back = env.enter(forklift, yard, 7900, 2400, 0);
    const auto posts = env.wait_for_alarm_posts(forklift, yard, 1);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0]["body"]["state"], "clear");
    EXPECT_EQ(posts[0]["body"]["x"], 7900);
    EXPECT_FALSE(has_open_alarm(env.open_alarms(), forklift, yard));
}

}  // namespace
}  // namespace zentu
