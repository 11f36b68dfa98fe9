// The context updater against a loopback platform: the initial load, derived
// zone events and alarms, notifications and "zone_event" messages.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "context/context.hpp"
#include "core/events_loop.hpp"
#include "core/exception.hpp"
#include "core/http.hpp"
#include "intake/context_updater.hpp"
#include "test_kit/http_test_server.hpp"
#include "test_kit/platform_records.hpp"

namespace zentu {
namespace {

using libs::core::timestamp;
using test_kit::http_test_server;
namespace platform = test_kit::platform;

libs::core::logger& test_logger() {
    static libs::core::logger logger("marovane-test", "updater");
    return logger;
}

// Hands every subscription to the test, which plays the platform's messages.
class fake_stream : public libs::core::message_stream {
public:
    struct fake_subscription : subscription {};
    subscription::ptr subscribe(std::string_view topic, callback cb) override {
        m_callbacks[std::string(topic)] = std::move(cb);
        return std::make_unique<fake_subscription>();
    }
    void publish(const std::string& topic, const std::string& body) { m_callbacks.at(topic)(body); }

private:
    std::map<std::string, callback> m_callbacks;
};

template <typename T>
class recorder : public libs::context_utils::objects_repository<T>::observer {
public:
    void after_creating(const T& o, timestamp) override {
        m_log.push_back("create " + o.get_uid());
    }
    void after_updating(const T& o, timestamp) override {
        m_log.push_back("update " + o.get_uid());
    }
    void before_deleting(const T& o, timestamp) override {
        m_log.push_back("delete " + o.get_uid());
    }
    std::vector<std::string> m_log;
};

// The site the platform serves: objects A and B of project P, C of Q; zones
// KI (keep-in) and KO (keep-out) of P, with A inside both.
platform::zone_record zone(const std::string& uid, const std::string& type) {
    return platform::zone_record(uid).project("P").type(type);
}
platform::object_record object(const std::string& uid, const std::string& project) {
    return platform::object_record(uid).project(project).groups({"g1"});
}

class updater_test : public ::testing::Test {
protected:
    void SetUp() override {
        serve("/api/private/track_obj/",
              platform::list("trackableObjects",
                             {object("A", "P"), object("B", "P"), object("C", "Q")}));
        serve("/api/private/zones/", platform::list("zones", {zone("KI", "keep_in").inside("A"),
                                                              zone("KO", "keep_out").inside("A")}));
        serve("/api/private/alarms/", R"({"alarms": [
            {"uid": "al1", "mac_address": "aa:B", "alarm_name": "zone_violation",
             "additional_info": {"text": "t", "zone_alarm_level": 2,
                                 "zone_violation_type": "keep_in", "zone_uid": "KI"},
             "ts": "2021-03-04T05:06:07.089Z", "obj_uid": "B"},
            {"uid": "al2", "mac_address": "aa:C", "alarm_name": "zone_violation",
             "additional_info": {"text": "t", "zone_uid": "KO"},
             "ts": "2021-03-04T05:06:07.089Z", "obj_uid": "C"},
            {"uid": "al3", "mac_address": "aa:A", "alarm_name": "zone_violation",
             "additional_info": {"text": "t", "zone_alarm_level": 1, "zone_uid": "KO"},
             "ts": "2021-03-04T05:06:07.089Z", "obj_uid": "A", "x": 5}]})");
        m_core = libs::core::core::create(test_logger());
        m_loop = m_core->create_events_loop("main loop");
        m_client = m_loop->create_http_client(m_server.url(), std::chrono::seconds(5), {}, 2);
    }

    void serve(const std::string& path, const std::string& body) {
        http_test_server::response r;
        r.body = body;
        m_server.set_response(path, r);
    }

    void start() {
        m_updater = std::make_unique<context_updater>(m_context, *m_client, m_stream, *m_loop,
                                                      test_logger());
    }

    // A zone event of project P in a keep-out zone.
    static platform::zone_event_message movement(const std::string& obj, const std::string& zone,
                                                 const std::string& action) {
        return platform::zone_event_message(obj, zone).project("P").type("keep_out").action(action);
    }

    http_test_server m_server;
    libs::core::core::ptr m_core;
    libs::core::events_loop::ptr m_loop;
    libs::core::http::client::ptr m_client;
    fake_stream m_stream;
    context::writable_context m_context;
    std::unique_ptr<context_updater> m_updater;
};

TEST_F(updater_test, initial_load_derives_zone_events_and_alarms) {
    start();
    EXPECT_EQ(m_context.get_zones().size(), 2u);
    EXPECT_EQ(m_context.get_trackable_objects().size(), 3u);

    const auto& events = m_context.get_zone_events();
    const auto a_in = events.try_get("A:KI");
    ASSERT_TRUE(a_in);
    EXPECT_EQ(a_in->get_action(), "enter");
    EXPECT_EQ(a_in->get_ts(), timestamp(1614834367, 89));
    EXPECT_EQ(a_in->get_x(), 1);
    EXPECT_EQ(a_in->get_z(), 3);
    EXPECT_EQ(a_in->get_sublocation_uid(), "s1");
    // Objects the lists leave out are outside, without an event of their own.
    using position = context::keep_in_index::position;
    const auto& index = m_context.get_keep_in_index();
    EXPECT_EQ(index.position_of("B", "KI"), position::outside);
    EXPECT_EQ(index.position_of("A", "KI"), position::inside);
    EXPECT_FALSE(events.is_exists("B:KI"));
    EXPECT_TRUE(events.is_exists("A:KO"));
    EXPECT_EQ(events.size(), 2u);

    const auto& alarms = m_context.get_alarms();
    ASSERT_TRUE(alarms.try_get("B:KI"));
    EXPECT_EQ(alarms.get("B:KI").get_alarm_type(), context::alarm_type::ki);
    EXPECT_EQ(alarms.get("B:KI").get_state(), "set");
    EXPECT_FALSE(alarms.is_exists("C:KO"));  // no zone alarm level
    ASSERT_TRUE(alarms.try_get("A:KO"));
    EXPECT_EQ(alarms.get("A:KO").get_alarm_type(), context::alarm_type::ko);
    EXPECT_EQ(alarms.get("A:KO").get_x(), 5);
    EXPECT_FALSE(alarms.get("A:KO").get_y());
}

TEST_F(updater_test, occupancy_lists_of_zones_without_sublocation_or_created_later_count) {
    serve("/api/private/zones/",
          platform::list("zones", {zone("NS", "keep_out").inside("A").without("sublocation_uid")}));
    start();
    const auto entry = m_context.get_zone_events().try_get("A:NS");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->get_sublocation_uid(), "");

    using position = context::keep_in_index::position;
    const auto& index = m_context.get_keep_in_index();
    m_stream.publish("notify",
                     platform::notify("ZONE", "created", zone("NEW", "keep_in").inside("A")));
    EXPECT_EQ(m_context.get_zone_events().get("A:NEW").get_action(), "enter");
    EXPECT_EQ(index.position_of("A", "NEW"), position::inside);
    EXPECT_EQ(index.position_of("B", "NEW"), position::outside);
    // Created afterwards: where it is was never learnt.
    m_stream.publish("notify", platform::notify("TRACKABLE_OBJECT", "created", object("D", "P")));
    EXPECT_EQ(index.position_of("D", "NEW"), position::inside);
}

TEST_F(updater_test, a_bad_record_is_logged_and_the_rest_loads) {
    serve("/api/private/zones/",
          platform::list("zones", {R"({"uid": "broken"})", zone("KO", "keep_out")}));
    start();
    EXPECT_FALSE(m_context.get_zones().is_exists("broken"));
    EXPECT_TRUE(m_context.get_zones().is_exists("KO"));
}

TEST_F(updater_test, zone_update_announces_only_real_changes) {
    start();
    recorder<context::zone> zones;
    auto handle = m_context.get_zones().subscribe(zones);

    // Same fields, newer time stamp: nothing is written.
    m_stream.publish("notify", platform::notify("ZONE", "updated", zone("KO", "keep_out")));
    EXPECT_TRUE(zones.m_log.empty());

    m_stream.publish("notify", platform::notify("zone", "Updated", zone("KO", "Keep_In")));
    EXPECT_EQ(zones.m_log, (std::vector<std::string>{"update KO"}));
    EXPECT_EQ(m_context.get_zones().get("KO").get_type(), context::zone_type::UNKNOWN);
    EXPECT_EQ(m_context.get_zones().get("KO").get_ts(), timestamp(1700000000, 5));

    m_stream.publish("notify", platform::notify("ZONE", "updated", zone("NEW", "keep_in")));
    EXPECT_TRUE(m_context.get_zones().is_exists("NEW"));

    m_stream.publish("notify",
                     platform::notify("ZONE", "deleted", R"({"uid": "NEW"})", 1700000001, 250));
    EXPECT_FALSE(m_context.get_zones().is_exists("NEW"));
}

TEST_F(updater_test, object_update_keeps_sublocation_and_replaces_groups) {
    start();
    m_stream.publish("notify",
                     platform::notify("TRACKABLE_OBJECT", "updated",
                                      object("A", "P").without("position").without("groups")));
    const auto& a = m_context.get_trackable_objects().get("A");
    EXPECT_EQ(a.get_sublocation_uid(), std::optional<std::string>("s1"));
    EXPECT_TRUE(a.get_groups().empty());

    m_stream.publish("notify", R"({"object": "TRACKABLE_OBJECT_GROUPS", "action": "updated",
        "ts": 1700000000, "ms": 1, "project_uid": "P",
        "plist": {"g7": {"action": "ADD_GROUP", "trackableObject": "A"},
                  "g8": {"action": "ADD_GROUP", "trackableObject": "nobody"}}})");
    EXPECT_EQ(a.get_groups(), (std::set<std::string>{"g7"}));
}

TEST_F(updater_test, zone_event_messages_create_then_update_one_event) {
    start();
    recorder<context::zone_event> events;
    auto handle = m_context.get_zone_events().subscribe(events);

    m_updater->handle_zone_event(movement("B", "KO", "enter").text());
    m_updater->handle_zone_event(movement("B", "KO", "leave").text());
    EXPECT_EQ(events.m_log, (std::vector<std::string>{"create B:KO", "update B:KO"}));
    const auto& e = m_context.get_zone_events().get("B:KO");
    EXPECT_EQ(e.get_action(), "leave");
    EXPECT_EQ(e.get_ts(), timestamp(1700000000, 7));
    EXPECT_EQ(e.get_zone_type(), context::zone_type::KEEP_OUT);
}

TEST_F(updater_test, zone_event_moves_the_object_to_its_sublocation_first) {
    start();
    recorder<context::trackable_object> objects;
    recorder<context::zone_event> events;
    auto h1 = m_context.get_trackable_objects().subscribe(objects);
    auto h2 = m_context.get_zone_events().subscribe(events);
    m_updater->handle_zone_event(movement("B", "KO", "enter").sublocation("s2").text());
    EXPECT_EQ(objects.m_log, (std::vector<std::string>{"update B"}));
    EXPECT_EQ(m_context.get_trackable_objects().get("B").get_sublocation_uid(),
              std::optional<std::string>("s2"));
    EXPECT_EQ(events.m_log, (std::vector<std::string>{"create B:KO"}));
}

TEST_F(updater_test, malformed_zone_events_are_dropped_or_rejected) {
    start();
    const auto count = m_context.get_zone_events().size();
    m_updater->handle_zone_event(movement("B", "KO", "enter").set("x", 1.5).text());
    m_updater->handle_zone_event(movement("B", "KO", "enter").set("x", "1").text());
    m_updater->handle_zone_event(R"({"ts": 1, "ms": 0})");
    // Times that would wrap or make a nonsense alarm time.
    for (const auto& [ts, ms] :
         {std::pair<Json::Int64, int>{9223372036854775, 808}, std::pair<Json::Int64, int>{-1, 999},
          std::pair<Json::Int64, int>{1700000000, -1},
          std::pair<Json::Int64, int>{1700000000, 1000}}) {
        m_updater->handle_zone_event(
            movement("B", "KO", "enter").set("ts", ts).set("ms", ms).text());
    }
    EXPECT_EQ(m_context.get_zone_events().size(), count);

    try {
        m_updater->handle_zone_event("not json");
        FAIL() << "expected a check failure";
    } catch (const libs::core::check_failed_exception& e) {
        EXPECT_EQ(e.get_string_error(), "check failed: parse_result.ok");
    }
}

}  // namespace
}  // namespace zentu
