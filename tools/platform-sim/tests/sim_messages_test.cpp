#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "support/sim_test_support.hpp"
#include "test_kit/http_client.hpp"

namespace zentu::platform_sim::test {
namespace {

using test_kit::http_answer;
using test_kit::http_get;
using test_kit::http_post;
class sim_messages : public ::testing::Test {
protected:
    void SetUp() override {
        m_sim = start_simulator(read_json_file(std::string(MAROVANE_SIM_EXAMPLES) + "/site.json"));
        m_url = base_url(*m_sim);
        m_sub = std::make_unique<subscriber>(m_sim->pub_endpoint());
        m_sub->wait_connected(*m_sim);
    }

    http_answer control(const std::string& command, const std::string& body) {
        auto answer = http_post(m_url + "/sim/" + command, body);
        EXPECT_EQ(answer.status, 200) << command << ": " << answer.body;
        return answer;
    }

    Json::Value zone(const std::string& uid) {
        const auto zones = http_get(m_url + "/api/private/zones/").json()["zones"];
        for (const auto& z : zones)
            if (z["uid"] == uid)
                return z;
        return Json::Value();
    }

    Json::Value next(const std::string& wire_topic) {
        auto frame = m_sub->receive_topic(wire_topic);
        if (!frame) {
            ADD_FAILURE() << "no " << wire_topic << " frame";
            return Json::Value();
        }
        EXPECT_EQ(frame->substr(0, wire_topic.size() + 1), wire_topic + "{") << *frame;
        return frame_document(*frame);
    }

    simulator::ptr m_sim;
    std::string m_url;
    std::unique_ptr<subscriber> m_sub;
};

TEST_F(sim_messages, enter_and_leave_publish_zone_events_and_keep_the_zone_occupancy) {
    control("enter", R"({"obj_uid": "obj-visitor-2", "zone_uid": "zone-ko-dock-3",
                        "x": 8500, "y": 1000, "z": 0})");
    auto enter = next("#zone_event");
    EXPECT_EQ(enter["action"], "enter");
    EXPECT_EQ(enter["obj_uid"], "obj-visitor-2");
    EXPECT_EQ(enter["zone_uid"], "zone-ko-dock-3");
    EXPECT_EQ(enter["zone_type_name"], "keep_out");
    EXPECT_EQ(enter["project_uid"], "proj-warehouse");
    EXPECT_EQ(enter["sublocation_uid"], "sl-ground-floor");
    EXPECT_EQ(enter["x"], 8500);
    EXPECT_EQ(enter["y"], 1000);
    for (const char* key : {"ts", "ms", "x", "y", "z"})
        EXPECT_EQ(enter[key].type(), Json::intValue) << key << " must be a JSON integer";
    EXPECT_LT(enter["ms"].asInt(), 1000);

    auto inside = zone("zone-ko-dock-3")["trackables_in_zone"];
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(inside[0]["uid"], "obj-visitor-2");
    EXPECT_EQ(inside[0]["entered"]["x"], 8500);
    const auto time = inside[0]["entered"]["time"].asString();
    EXPECT_EQ(time.size(), 24u);
    EXPECT_EQ(time.back(), 'Z');

    // A leave without coordinates reports the last known position.
    control("leave", R"({"obj_uid": "obj-visitor-2", "zone_uid": "zone-ko-dock-3"})");
    auto leave = next("#zone_event");
    EXPECT_EQ(leave["action"], "leave");
    EXPECT_EQ(leave["x"], 8500);
    EXPECT_EQ(zone("zone-ko-dock-3")["trackables_in_zone"].size(), 0u);

    control("leave", R"({"obj_uid": "obj-forklift-1", "zone_uid": "zone-ki-yard"})");
    EXPECT_EQ(next("#zone_event")["zone_type_name"], "keep_in");
    EXPECT_EQ(zone("zone-ki-yard")["trackables_in_zone"].size(), 0u);
}

TEST_F(sim_messages, enter_for_unknown_uids_is_refused_and_publishes_nothing) {
    EXPECT_EQ(
        http_post(m_url + "/sim/enter", R"({"obj_uid": "nobody", "zone_uid": "zone-ki-yard"})")
            .status,
        404);
    EXPECT_EQ(
        http_post(m_url + "/sim/enter", R"({"obj_uid": "obj-pallet-9", "zone_uid": "nowhere"})")
            .status,
        404);
    EXPECT_EQ(http_post(m_url + "/sim/enter", R"({"zone_uid": "zone-ki-yard"})").status, 400);
    EXPECT_FALSE(m_sub->receive(std::chrono::milliseconds(200)));
}

TEST_F(sim_messages, zone_and_object_changes_are_notified_and_served) {
    auto created =
        control("zone", R"({"uid": "zone-ko-new", "name": "New", "zone_alarm_level": 4})");
    auto notify = next("#notify");
    EXPECT_EQ(notify["object"], "ZONE");
    EXPECT_EQ(notify["action"], "created");
    EXPECT_EQ(notify["plist"]["uid"], "zone-ko-new");
    EXPECT_EQ(notify["plist"]["zone_alarm_level"], 4);
    EXPECT_EQ(notify["plist"]["zone_type_name"], "keep_out") << "defaults fill a new zone";
    EXPECT_EQ(notify["plist"]["project_uid"], "proj-warehouse");
    EXPECT_TRUE(notify["plist"]["zone_exceptions"].isArray());
    EXPECT_EQ(notify["plist"]["updated_at"].asString().size(), 24u);
    EXPECT_EQ(notify["ts"].type(), Json::intValue);
    EXPECT_EQ(zone("zone-ko-new")["name"], "New");

    control("zone", R"({"uid": "zone-ki-yard", "active": false})");
    notify = next("#notify");
    EXPECT_EQ(notify["action"], "updated");
    EXPECT_EQ(notify["plist"]["active"], false);
    EXPECT_EQ(notify["plist"]["name"], "Yard") << "an update keeps the other members";
    EXPECT_EQ(notify["plist"]["trackables_in_zone"].size(), 1u);

    control("zone/delete", R"({"uid": "zone-ko-new"})");
    notify = next("#notify");
    EXPECT_EQ(notify["action"], "deleted");
    EXPECT_EQ(notify["plist"]["uid"], "zone-ko-new");
    EXPECT_TRUE(zone("zone-ko-new").isNull());
    EXPECT_EQ(http_post(m_url + "/sim/zone/delete", R"({"uid": "zone-ko-new"})").status, 404);

    control("object", R"({"uid": "obj-new", "node": {"responsive": true, "mac_address": "aa"}})");
    notify = next("#notify");
    EXPECT_EQ(notify["object"], "TRACKABLE_OBJECT");
    EXPECT_EQ(notify["action"], "created");
    EXPECT_EQ(notify["plist"]["node"]["mac_address"], "aa");
    EXPECT_EQ(notify["plist"]["tag_config"]["stationary"], false);
    EXPECT_EQ(http_get(m_url + "/api/private/track_obj/").json()["trackableObjects"].size(), 5u);

    // A deleted object leaves every zone it was in.
    control("object/delete", R"({"uid": "obj-forklift-1"})");
    notify = next("#notify");
    EXPECT_EQ(notify["action"], "deleted");
    EXPECT_EQ(zone("zone-ki-yard")["trackables_in_zone"].size(), 0u);
}

TEST_F(sim_messages, group_changes_are_split_so_a_group_appears_once_per_message) {
    auto answer = control("groups", R"({"project_uid": "proj-warehouse",
        "add": [{"group": "grp-visitors", "obj": "obj-pallet-9"},
                {"group": "grp-visitors", "obj": "obj-worker-7"}],
        "remove": [{"group": "grp-visitors", "obj": "obj-visitor-2"}]})");
    ASSERT_EQ(answer.json()["messages"].size(), 3u);
    for (int i = 0; i < 3; ++i) {
        auto notify = next("#notify");
        EXPECT_EQ(notify["object"], "TRACKABLE_OBJECT_GROUPS");
        EXPECT_EQ(notify["action"], "updated");
        EXPECT_EQ(notify["project_uid"], "proj-warehouse");
        ASSERT_EQ(notify["plist"].getMemberNames(), std::vector<std::string>{"grp-visitors"});
        const auto& member = notify["plist"]["grp-visitors"];
        EXPECT_EQ(member["action"], i < 2 ? "ADD_GROUP" : "REMOVE_GROUP");
        EXPECT_EQ(member["trackableObject"],
                  std::vector<std::string>({"obj-pallet-9", "obj-worker-7", "obj-visitor-2"})[i]);
    }
    std::map<std::string, Json::Value> groups;
    const auto objects = http_get(m_url + "/api/private/track_obj/").json()["trackableObjects"];
    for (const auto& o : objects)
        groups[o["uid"].asString()] = o["groups"];
    EXPECT_EQ(groups["obj-pallet-9"], parse(R"(["grp-visitors"])"));
    EXPECT_EQ(groups["obj-visitor-2"], parse("[]"));

    // Without a project the object's own is used.
    control("groups", R"({"add": [{"group": "g1", "obj": "obj-pallet-9"}]})");
    EXPECT_EQ(next("#notify")["project_uid"], "proj-warehouse");
}

TEST_F(sim_messages, the_generator_sends_the_count_asked_for_and_reports_it) {
    control("generator", R"({"rate": 2000, "count": 40, "dwell": 2,
                            "zones": ["zone-ko-dock-3", "zone-ko-server-room"]})");
    int enters = 0, leaves = 0;
    for (int i = 0; i < 40; ++i) {
        auto event = next("#zone_event");
        (event["action"] == "enter" ? enters : leaves)++;
        EXPECT_LE(enters - leaves, 2) << "no more than dwell objects inside";
    }
    EXPECT_EQ(enters, 21);
    EXPECT_EQ(leaves, 19);
    Json::Value status;
    for (int i = 0; i < 100; ++i) {
        status = http_get(m_url + "/sim/generator").json();
        if (!status["running"].asBool())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(status["running"].asBool());
    EXPECT_EQ(status["sent"], 40);
    EXPECT_EQ(status["enter"], 21);
    EXPECT_EQ(status["errors"], 0);
    // The served occupancy matches what was published.
    EXPECT_EQ(zone("zone-ko-dock-3")["trackables_in_zone"].size() +
                  zone("zone-ko-server-room")["trackables_in_zone"].size(),
              2u);
    EXPECT_EQ(http_post(m_url + "/sim/generator", R"({"rate": 10})").status, 400);
    EXPECT_EQ(http_post(m_url + "/sim/generator", R"({"rate": 10, "count": 1, "dwell": 0})").status,
              400);
}

TEST_F(sim_messages, a_generator_run_for_a_duration_ends_on_time_even_when_behind) {
    control("generator", R"({"rate": 1000000, "duration_ms": 200})");
    const auto start = std::chrono::steady_clock::now();
    Json::Value status;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        status = http_get(m_url + "/sim/generator").json();
    } while (status["running"].asBool() &&
             std::chrono::steady_clock::now() - start < std::chrono::seconds(5));
    EXPECT_FALSE(status["running"].asBool());
    EXPECT_GT(status["sent"].asUInt64(), 0u);
    EXPECT_LT(status["elapsed_ms"].asInt64(), 3000);
}

TEST_F(sim_messages, a_scenario_runs_its_commands_in_time_order) {
    m_sim->run_scenario(parse(R"([
        {"at_ms": 120, "cmd": "leave", "obj_uid": "obj-pallet-9", "zone_uid": "zone-ko-dock-3"},
        {"at_ms": 20, "cmd": "enter", "obj_uid": "obj-pallet-9", "zone_uid": "zone-ko-dock-3"}])"));
    EXPECT_EQ(next("#zone_event")["action"], "enter");
    EXPECT_EQ(next("#zone_event")["action"], "leave");
    EXPECT_THROW(m_sim->run_scenario(parse(R"([{"cmd": "enter"}])")), request_error);
}

TEST_F(sim_messages, raw_frames_are_published_unchanged) {
    control("publish", R"({"raw": "#zone_event not json"})");
    EXPECT_EQ(m_sub->receive(), "#zone_event not json");
}

}  // namespace
}  // namespace zentu::platform_sim::test
