// The periodic rebuild of the service, against the platform simulator run
// in-process and a private Redis: the context is reloaded while the service
// goes on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "core/json.hpp"
#include "platform-sim/simulator.hpp"
#include "redis/redis_context.hpp"
#include "service/application.hpp"
#include "service/config.hpp"
#include "support/redis_server.hpp"

#ifndef MAROVANE_EXAMPLES
#error "MAROVANE_EXAMPLES must name the examples directory"
#endif

namespace zentu {
namespace {

using namespace std::chrono_literals;
namespace core = libs::core;

Json::Value example_site() {
    std::ifstream in(std::string(MAROVANE_EXAMPLES) + "/site.json");
    std::stringstream text;
    text << in.rdbuf();
    auto parsed = core::json::try_parse(text.str());
    EXPECT_TRUE(parsed.ok) << parsed.error;
    return parsed.result;
}

Json::Value parse(const std::string& text) {
    auto parsed = core::json::try_parse(text);
    EXPECT_TRUE(parsed.ok) << parsed.error;
    return parsed.result;
}

bool has_open_alarm(const Json::Value& open, const std::string& obj, const std::string& zone) {
    for (const auto& alarm : open)
        if (alarm["obj_uid"] == obj && alarm["additional_info"]["zone_uid"] == zone)
            return true;
    return false;
}

class assembly_rebuild_test : public ::testing::Test {
public:
    // Alarm POSTs the platform received so far.
    std::size_t alarm_posts() {
        const auto reply = m_sim->control().handle("GET", "/sim/requests", "", "");
        const auto journal = parse(reply.body);
        std::size_t count = 0;
        for (const auto& request : journal["requests"])
            count += request["method"] == "POST";
        return count;
    }

protected:
    assembly_rebuild_test()
        : m_logger("marovane-test", "rebuild"),
          m_sim(make_simulator()),
          m_config(make_config()),
          m_core(core::core::create(m_logger)),
          m_loop(m_core->create_events_loop("main loop")) {}

    platform_sim::simulator::ptr make_simulator() {
        platform_sim::options options;
        options.site_document = example_site();
        return platform_sim::simulator::create(options);
    }

    config make_config() {
        const auto pub = m_sim->pub_endpoint();
        Json::Value document = parse(R"({
            "system": {"pidfile": "/nonexistent/marovane.pid", "local_debug": false},
            "proxy": {"address": "127.0.0.1"},
            "server": {"protocol": "http", "timeout": 2},
            "redis": {"host": "127.0.0.1", "password": ""}})");
        document["system"]["debug_port"] =
            "tcp://127.0.0.1:" + std::to_string(test::unused_loopback_port());
        document["proxy"]["output_port"] = std::stoi(pub.substr(pub.rfind(':') + 1));
        document["server"]["address"] = m_sim->http_address();
        document["redis"]["port"] = m_redis.port();
        std::istringstream stream(core::json::to_string(document));
        return config(stream);
    }

    std::set<std::string> mirror_set(const std::string& key) {
        redis::context check("127.0.0.1", m_redis.port(), 10, "");
        std::set<std::string> members;
        check.get_set_members(key).as_array().for_each_element([&](const redis::reply_element& e) {
            members.insert(e.to_string());
            return true;
        });
        return members;
    }

    // Whether the current service receives the platform's messages: an
    // object announced again must reach its context.
    bool follows_the_stream(const application& app) {
        const auto& objects = app.service().get_context().get_trackable_objects();
        const auto before = objects.try_get("obj-pallet-9")->get_ts();
        return run_loop_until(
            [&] {
                if (objects.try_get("obj-pallet-9")->get_ts() != before)
                    return true;
                m_sim->control().run("object", parse(R"({"uid": "obj-pallet-9"})"));
                return false;
            },
            10s);
    }

    // Starts a rebuild and runs the loop until it ended, one way or the other.
    bool rebuild(application& app) {
        const auto& service = app.service();
        const auto ended = service.rebuilds_done() + service.rebuilds_failed() + 1;
        app.rebuild();
        return run_loop_until(
            [&] { return service.rebuilds_done() + service.rebuilds_failed() == ended; }, 20s);
    }

    // Runs the loop until the condition holds or the time is up.
    bool run_loop_until(const std::function<bool()>& condition, std::chrono::seconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        m_loop->get_io_context().restart();
        auto check = m_loop->create_periodic_timer(
            50ms, "test check",
            [&](core::timer::time_point) {
                if (condition() || std::chrono::steady_clock::now() > deadline)
                    m_loop->stop();
            },
            core::source_location());
        m_loop->run();
        return condition();
    }

    test::redis_server m_redis;
    core::logger m_logger;
    platform_sim::simulator::ptr m_sim;
    config m_config;
    core::core::ptr m_core;
    core::events_loop::ptr m_loop;
};

TEST_F(assembly_rebuild_test, rebuild_reloads_the_context_from_the_platform) {
    application app(m_config, m_logger, *m_loop);
    // Announced while the loop does not run: only a reload can learn of it.
    m_sim->control().run("zone", parse(R"({"uid": "zone-ko-lab", "name": "Lab",
        "project_uid": "proj-warehouse", "sublocation_uid": "sl-ground-floor",
        "zone_type_name": "keep_out", "zone_alarm_level": 2})"));
    m_sim->control().run("zone/delete", parse(R"({"uid": "zone-ko-server-room"})"));
    const auto& zones = app.service().get_context().get_zones();
    EXPECT_FALSE(zones.try_get("zone-ko-lab"));

    ASSERT_TRUE(rebuild(app));
    EXPECT_EQ(app.service().rebuilds_done(), 1u);
    EXPECT_TRUE(zones.try_get("zone-ko-lab"));
    EXPECT_TRUE(zones.try_get("zone-ko-dock-3"));
    // The mirror follows, without the zone that went.
    EXPECT_TRUE(run_loop_until(
        [&] {
            const auto mirrored = mirror_set("marovane:zones:set");
            return mirrored.count("zone-ko-lab") == 1 && mirrored.count("zone-ko-server-room") == 0;
        },
        10s));

    // The service follows the platform.
    m_sim->control().run("enter", parse(R"({"obj_uid": "obj-forklift-1",
        "zone_uid": "zone-ko-lab", "x": 1, "y": 2, "z": 0})"));
    EXPECT_TRUE(run_loop_until(
        [&] {
            return has_open_alarm(m_sim->get_site().open_alarms(), "obj-forklift-1", "zone-ko-lab");
        },
        10s));
}

TEST_F(assembly_rebuild_test, failed_rebuild_keeps_the_running_service) {
    application app(m_config, m_logger, *m_loop);
    m_sim->control().run("fail", parse(R"({"path": "/api/private/alarm_types/", "status": 200,
                                           "count": 1, "body": "not json"})"));
    const auto* zones_before = &app.service().get_context().get_zones().get("zone-ko-dock-3");

    ASSERT_TRUE(rebuild(app));
    EXPECT_EQ(app.service().rebuilds_failed(), 1u);
    EXPECT_EQ(app.service().rebuilds_done(), 0u);
    // Nothing was replaced.
    EXPECT_EQ(&app.service().get_context().get_zones().get("zone-ko-dock-3"), zones_before);

    // The service kept in place still works, and the next rebuild succeeds.
    m_sim->control().run("enter", parse(R"({"obj_uid": "obj-forklift-1",
        "zone_uid": "zone-ko-dock-3", "x": 8500, "y": 1000, "z": 0})"));
    EXPECT_TRUE(run_loop_until(
        [&] {
            return has_open_alarm(m_sim->get_site().open_alarms(), "obj-forklift-1",
                                  "zone-ko-dock-3");
        },
        10s));
    ASSERT_TRUE(rebuild(app));
    EXPECT_EQ(app.service().rebuilds_done(), 1u);
    EXPECT_TRUE(
        app.service().get_context().get_alarms().is_exists("obj-forklift-1:zone-ko-dock-3"));
}

TEST_F(assembly_rebuild_test, messages_during_a_rebuild_are_neither_lost_nor_repeated) {
    application app(m_config, m_logger, *m_loop);
    ASSERT_TRUE(run_loop_until([&] { return alarm_posts() == 1; }, 10s));  // the stale alarm
    // The zone list is taken at once but answered late: the entry below
    // reaches the rebuilt context only through the messages it catches up with.
    m_sim->control().run("late", parse(R"({"path": "/api/private/zones/", "ms": 1500})"));
    app.rebuild();
    m_sim->control().run("enter", parse(R"({"obj_uid": "obj-forklift-1",
        "zone_uid": "zone-ko-dock-3", "x": 8500, "y": 1000, "z": 0})"));
    m_sim->control().run("zone", parse(R"({"uid": "zone-ko-lab", "name": "Lab",
        "project_uid": "proj-warehouse", "zone_type_name": "keep_out", "zone_alarm_level": 2})"));
    ASSERT_TRUE(run_loop_until([&] { return app.service().rebuilds_done() == 1; }, 20s));

    const auto& context = app.service().get_context();
    EXPECT_TRUE(context.get_zones().try_get("zone-ko-lab"));
    EXPECT_EQ(context.get_zone_events().get("obj-forklift-1:zone-ko-dock-3").get_action(), "enter");
    EXPECT_TRUE(context.get_alarms().is_exists("obj-forklift-1:zone-ko-dock-3"));
    EXPECT_EQ(alarm_posts(), 2u);  // the entry's set, once

    m_sim->control().run("leave", parse(R"({"obj_uid": "obj-forklift-1",
        "zone_uid": "zone-ko-dock-3", "x": 7600, "y": 1500, "z": 0})"));
    EXPECT_TRUE(run_loop_until([&] { return alarm_posts() == 3u; }, 10s));
    EXPECT_TRUE(run_loop_until([&] { return m_sim->get_site().open_alarms().size() == 0; }, 10s));
}

TEST_F(assembly_rebuild_test, alarms_open_before_a_rebuild_are_taken_over_without_a_repeat) {
    application app(m_config, m_logger, *m_loop);
    m_sim->control().run("enter", parse(R"({"obj_uid": "obj-forklift-1",
        "zone_uid": "zone-ko-dock-3", "x": 8500, "y": 1000, "z": 0})"));
    m_sim->control().run("leave", parse(R"({"obj_uid": "obj-forklift-1",
        "zone_uid": "zone-ki-yard", "x": 8100, "y": 2500, "z": 0})"));
    ASSERT_TRUE(run_loop_until(
        [&] {
            const auto open = m_sim->get_site().open_alarms();
            return has_open_alarm(open, "obj-forklift-1", "zone-ko-dock-3") &&
                   has_open_alarm(open, "obj-forklift-1", "zone-ki-yard");
        },
        10s));
    // The start-up clear of the stale alarm, the keep-out and the keep-in set.
    ASSERT_EQ(alarm_posts(), 3u);

    ASSERT_TRUE(rebuild(app));
    EXPECT_EQ(app.service().rebuilds_done(), 1u);
    EXPECT_EQ(app.service().get_context().get_alarms().size(), 2u);
    EXPECT_EQ(alarm_posts(), 3u);
    ASSERT_TRUE(follows_the_stream(app));

    // The new service clears them when the object comes back.
    m_sim->control().run("leave", parse(R"({"obj_uid": "obj-forklift-1",
        "zone_uid": "zone-ko-dock-3", "x": 7600, "y": 1500, "z": 0})"));
    m_sim->control().run("enter", parse(R"({"obj_uid": "obj-forklift-1",
        "zone_uid": "zone-ki-yard", "x": 7500, "y": 1500, "z": 0})"));
    EXPECT_TRUE(run_loop_until([&] { return m_sim->get_site().open_alarms().size() == 0; }, 10s));
    EXPECT_EQ(alarm_posts(), 5u);
}

TEST_F(assembly_rebuild_test, a_rebuild_asked_for_during_one_follows_it) {
    application app(m_config, m_logger, *m_loop);
    app.rebuild();
    // The one under way may have read the platform before what the operator wants seen.
    app.request_rebuild();
    EXPECT_TRUE(run_loop_until([&] { return app.service().rebuilds_done() == 2; }, 20s));
    EXPECT_FALSE(app.service().is_rebuilding());
}

TEST_F(assembly_rebuild_test, an_object_created_outside_its_keep_in_zones_is_placed_in_seconds) {
    application app(m_config, m_logger, *m_loop);
    // No list said where it is: it counts as inside until the lists are read again.
    m_sim->control().run("object", parse(R"({"uid": "obj-cart-4",
        "node": {"responsive": true, "mac_address": "02:00:00:00:00:04"}})"));
    EXPECT_TRUE(run_loop_until(
        [&] {
            return has_open_alarm(m_sim->get_site().open_alarms(), "obj-cart-4", "zone-ki-yard");
        },
        15s));
    EXPECT_EQ(app.service().rebuilds_done(), 1u);
    EXPECT_FALSE(app.service().get_context().get_keep_in_index().position_unknown("obj-cart-4"));
}

TEST_F(assembly_rebuild_test, stop_signal_still_stops_the_loop_after_a_rebuild) {
    application app(m_config, m_logger, *m_loop);
    ASSERT_TRUE(rebuild(app));

    bool timed_out = false;
    const auto deadline = m_loop->create_timer(
        core::timer::clock::now() + 10s, "test deadline",
        [&](core::timer::time_point) {
            timed_out = true;
            m_loop->stop();
        },
        core::source_location());
    ::kill(::getpid(), SIGTERM);
    m_loop->run();
    EXPECT_FALSE(timed_out);
}

}  // namespace
}  // namespace zentu
