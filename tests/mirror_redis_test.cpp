// The Redis mirror against a real redis-server: layout, value formats, the
// clearing at start, and that Redis failures never reach the context's writers.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "context/context.hpp"
#include "mirror/context_debug.hpp"
#include "mirror/mirror_writer.hpp"
#include "redis/redis_context.hpp"
#include "support/records.hpp"
#include "support/redis_server.hpp"

namespace zentu {
namespace {

using libs::core::timestamp;
using namespace std::chrono_literals;

libs::core::logger& test_logger() {
    static libs::core::logger logger("marovane-test", "mirror");
    return logger;
}

// The records whose hashes the tests read.
test::zone_builder make_zone(const std::string& uid, const std::string& name = "Dock 3") {
    return test::a_zone(uid).name(name).keep_out().level(2).at(timestamp(1614834367, 89));
}

test::object_builder make_object(const std::string& uid) {
    return test::an_object(uid).sublocation("s1").at(timestamp(1600000000, 5));
}

test::alarm_builder make_alarm(const std::string& obj, const std::string& zone) {
    return test::an_alarm(obj, zone)
        .level(2)
        .text("Keep out zone Dock 3 with zone alarm level 2")
        .at(timestamp(1600000000, 250));
}

std::map<std::string, std::string> hash(redis::context& r, const std::string& key) {
    std::map<std::string, std::string> out;
    const auto reply = r.execute_command_argv({"HGETALL", key});
    const auto array = reply.as_array();
    for (std::size_t i = 0; i + 1 < array.size(); i += 2)
        out[array[i].to_string()] = array[i + 1].to_string();
    return out;
}

std::set<std::string> members(redis::context& r, const std::string& key) {
    std::set<std::string> out;
    r.get_set_members(key).as_array().for_each_element([&](const redis::reply_element& e) {
        out.insert(e.to_string());
        return true;
    });
    return out;
}

class mirror_test : public ::testing::Test {
protected:
    void SetUp() override { m_server = std::make_unique<test::redis_server>(); }

    redis::context::ptr connect() {
        return std::make_unique<redis::context>("127.0.0.1", m_server->port(), 10, "");
    }

    std::unique_ptr<test::redis_server> m_server;
    context::writable_context m_context;
};

TEST_F(mirror_test, start_clears_previous_mirror_and_writes_current_objects) {
    auto r = connect();
    r->execute_command_argv({"SADD", "marovane:zones:set", "u1", "u2"});
    r->execute_command_argv({"HSET", "marovane:zones:u1", "uid", "u1"});
    r->execute_command_argv({"HSET", "marovane:zones:u2", "stale", "yes"});
    m_context.take_zones().add(make_zone("u2"), timestamp());
    m_context.take_zones().add(make_zone("u3"), timestamp());

    const auto before = timestamp::current_time();
    context_debug mirror(m_context, connect(), test_logger());
    mirror.flush();

    EXPECT_EQ(members(*r, "marovane:zones:set"), (std::set<std::string>{"u2", "u3"}));
    EXPECT_TRUE(hash(*r, "marovane:zones:u1").empty());
    const auto u2 = hash(*r, "marovane:zones:u2");
    EXPECT_EQ(u2.count("stale"), 0u);
    const auto created = timestamp::deserialize(u2.at("create_time"));
    ASSERT_TRUE(created);
    EXPECT_GE(*created, before);
}

TEST_F(mirror_test, writes_values_in_their_formats) {
    auto r = connect();
    context_debug mirror(m_context, connect(), test_logger());
    m_context.take_zones().add(make_zone("z1", "North dock gate"), timestamp(1700000000, 1));
    m_context.take_trackable_objects().add(make_object("o1"), timestamp(1700000000, 2));
    m_context.take_alarms().add(make_alarm("o1", "z1"), timestamp(1700000000, 3));
    mirror.flush();

    const auto zone = hash(*r, "marovane:zones:z1");
    EXPECT_EQ(zone.at("name"), "North dock gate");
    EXPECT_EQ(zone.at("sublocation_uid"), "--");
    EXPECT_EQ(zone.at("trackable_object_uid"), "--");
    EXPECT_EQ(zone.at("active"), "true");
    EXPECT_EQ(zone.at("default_allowed"), "false");
    EXPECT_EQ(zone.at("shape"), "POLYGON");
    EXPECT_EQ(zone.at("type"), "keep_out");
    EXPECT_EQ(zone.at("alarm_level"), "2");
    EXPECT_EQ(zone.at("ts"), timestamp(1614834367, 89).serialize());
    EXPECT_EQ(zone.at("create_time"), timestamp(1700000000, 1).serialize());

    const auto object = hash(*r, "marovane:trackable_objects:o1");
    EXPECT_EQ(object.at("mac_address"), "aa:bb");
    EXPECT_EQ(object.at("self_zone_uid"), "--");
    EXPECT_EQ(object.at("responsive"), "true");
    EXPECT_EQ(object.at("sublocation_uid"), "s1");

    const auto alarm = hash(*r, "marovane:alarms:o1:z1");
    EXPECT_EQ(alarm.at("x"), "999999");
    EXPECT_EQ(alarm.at("y"), "999999");
    EXPECT_EQ(alarm.at("z"), "999999");
    EXPECT_EQ(alarm.at("alarm_type"), "ko");
    EXPECT_EQ(alarm.at("alarm_text"), "Keep out zone Dock 3 with zone alarm level 2");
    EXPECT_EQ(alarm.at("zone_alarm_level"), "2");
    EXPECT_EQ(alarm.at("sublocation_uid"), "--");
    EXPECT_EQ(members(*r, "marovane:alarms:set"), (std::set<std::string>{"o1:z1"}));
}

TEST_F(mirror_test, update_keeps_create_time_and_deletion_removes_hash_and_member) {
    auto r = connect();
    context_debug mirror(m_context, connect(), test_logger());
    m_context.take_zones().add(make_zone("z1"), timestamp(1700000000, 1));
    {
        auto handle = m_context.take_zones().try_get("z1", timestamp(1700000001, 0));
        ASSERT_TRUE(handle);
        (*handle)->set_name("Renamed");
    }
    // Unchanged: nothing is written again.
    m_context.take_zones().try_get("z1", timestamp(1700000003, 0));
    mirror.flush();
    auto zone = hash(*r, "marovane:zones:z1");
    EXPECT_EQ(zone.at("name"), "Renamed");
    EXPECT_EQ(zone.at("create_time"), timestamp(1700000000, 1).serialize());
    EXPECT_EQ(zone.at("update_time"), timestamp(1700000001, 0).serialize());

    m_context.take_zones().remove("z1", timestamp(1700000002, 0));
    mirror.flush();
    EXPECT_TRUE(hash(*r, "marovane:zones:z1").empty());
    EXPECT_TRUE(members(*r, "marovane:zones:set").empty());
}

TEST_F(mirror_test, redis_outage_never_reaches_the_writers_and_the_mirror_converges) {
    // The reconnection runs on the mirror's writer thread: it gets the port by
    // value, not from the server object the test thread restarts.
    const int port = m_server->port();
    context_debug mirror(m_context, connect(), test_logger(), [port] {
        return std::make_unique<redis::context>("127.0.0.1", port, 10, "");
    });
    m_context.take_alarms().add(make_alarm("o1", "z1"), timestamp(1700000000, 0));
    mirror.flush();

    m_server->kill();
    // Every write during the outage is contained: the alarms still land in the context.
    EXPECT_NO_THROW(m_context.take_alarms().add(make_alarm("o2", "z1"), timestamp()));
    EXPECT_NO_THROW(m_context.take_alarms().remove("o1:z1", timestamp()));
    EXPECT_NO_THROW(m_context.take_alarms().add(make_alarm("o3", "z1"), timestamp()));
    mirror.flush();
    EXPECT_FALSE(mirror.is_connected());
    EXPECT_TRUE(m_context.get_alarms().is_exists("o2:z1"));
    EXPECT_TRUE(m_context.get_alarms().is_exists("o3:z1"));

    m_server->restart();
    // Reconnection is tried on its own, backing off from one second, and the
    // mirror is rewritten although nothing changes meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!mirror.is_connected() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(mirror.is_connected());
    m_context.take_alarms().add(make_alarm("o4", "z1"), timestamp());
    mirror.flush();

    auto check = connect();
    std::set<std::string> expected;
    m_context.get_alarms().for_each([&](const context::alarm& a) {
        expected.insert(a.get_uid());
        return true;
    });
    EXPECT_EQ(members(*check, "marovane:alarms:set"), expected);
    EXPECT_EQ(expected.count("o1:z1"), 0u);
    EXPECT_FALSE(hash(*check, "marovane:alarms:o3:z1").empty());
}

// A quiet site: nothing is written while Redis loses the mirror, the writer's
// probe alone brings it back, over the same connection after a flush and over
// a new one after a restart.
TEST_F(mirror_test, lost_mirror_is_rewritten_although_nothing_changes) {
    const int port = m_server->port();
    const auto connector = [port] {
        return std::make_unique<redis::context>("127.0.0.1", port, 10, "");
    };
    mirror_writer writer(connect(), connector, test_logger(), ops::unread_metrics(),
                         libs::core::real_clock(), 50ms);
    writer.clear_set("marovane:zones:set", "marovane:zones:");
    writer.put_hash("marovane:zones:z1", packed_fields().add("name", "Dock 3"), "create_time",
                    "t1");
    writer.add_member("marovane:zones:set", "z1");
    writer.flush();
    const auto mirror_is_whole = [&] {
        try {
            auto r = connect();
            const auto zone = hash(*r, "marovane:zones:z1");
            return members(*r, "marovane:zones:set") == std::set<std::string>{"z1"} &&
                   zone.count("name") && zone.at("name") == "Dock 3" && zone.count("create_time") &&
                   zone.at("create_time") == "t1";
        } catch (const libs::core::exception&) {
            return false;  // Redis is still on its way back
        }
    };
    const auto eventually = [](const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + 15s;
        while (!condition() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        return condition();
    };
    ASSERT_TRUE(mirror_is_whole());

    connect()->flush_db();
    EXPECT_TRUE(eventually(mirror_is_whole));

    m_server->restart();
    EXPECT_TRUE(eventually(mirror_is_whole));
    EXPECT_TRUE(writer.is_connected());
}

}  // namespace
}  // namespace zentu
