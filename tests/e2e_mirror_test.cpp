// The Redis mirror of the running daemon: a read-only service that mirrors
// what it would send, a Redis restart that loses nothing, and a Redis that is
// down at start and stops no alarm.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>

#include "support/e2e_fixture.hpp"

namespace zentu {
namespace {

using namespace std::chrono_literals;

const std::string forklift = "obj-forklift-1";
const std::string yard = "zone-ki-yard";
const std::string dock = "zone-ko-dock-3";
const std::string alarms_set = "marovane:alarms:set";
const std::string worker = "obj-worker-7";

class e2e_mirror_test : public test::e2e_test {};

TEST_F(e2e_mirror_test, read_only_service_posts_nothing_but_mirrors_its_alarms) {
    auto options = test::default_e2e_options();
    options.modify_server_state = false;
    auto& env = start(options);
    const std::string key = "marovane:alarms:" + forklift + ":" + dock;

    env.enter(forklift, dock, 8500, 1000, 0);
    ASSERT_TRUE(env.wait_until([&] { return env.mirror_hash(key)["state"] == "set"; }, 5s));
    const auto alarm = env.mirror_hash(key);
    EXPECT_EQ(alarm.at("alarm_type"), "ko");
    EXPECT_EQ(alarm.at("x"), "8500");
    // The stale platform alarm was "cleared" without telling the platform.
    EXPECT_TRUE(env.wait_until(
        [&] { return env.mirror_set(alarms_set) == std::set<std::string>{forklift + ":" + dock}; },
        5s));

    // After the clear, every request the alarm caused would have been made.
    env.leave(forklift, dock, 7600, 1500, 0);
    ASSERT_TRUE(env.wait_until([&] { return env.mirror_hash(key).empty(); }, 5s));
    for (const auto& request : env.requests())
        EXPECT_NE(request["method"], "POST") << test::canonical(request);
    EXPECT_EQ(env.open_alarms().size(), 1u);
}

TEST_F(e2e_mirror_test, redis_restart_loses_no_alarm_and_the_mirror_converges) {
    auto& env = start(test::default_e2e_options());
    ASSERT_EQ(env.wait_for_alarm_posts("obj-worker-7", dock, 1).size(), 1u);

    env.redis().stop();
    env.enter(forklift, dock, 8500, 1000, 0);
    env.leave(forklift, yard, 8100, 2500, 0);
    const auto dock_posts = env.wait_for_alarm_posts(forklift, dock, 1);
    const auto yard_posts = env.wait_for_alarm_posts(forklift, yard, 1);
    ASSERT_EQ(dock_posts.size(), 1u);
    ASSERT_EQ(yard_posts.size(), 1u);
    EXPECT_EQ(dock_posts[0]["outcome"], "accepted");
    EXPECT_EQ(yard_posts[0]["outcome"], "accepted");
    EXPECT_TRUE(env.service().running());

    env.redis().restart();
    const std::set<std::string> both{forklift + ":" + dock, forklift + ":" + yard};
    // The mirror reconnects (on its own, or on a later change) and rewrites itself whole.
    EXPECT_TRUE(env.wait_until([&] { return env.mirror_set(alarms_set) == both; }, 15s,
                               [&] { env.touch_object("obj-pallet-9"); }));
    EXPECT_EQ(env.mirror_hash("marovane:alarms:" + forklift + ":" + dock)["state"], "set");
    EXPECT_EQ(env.mirror_set("marovane:zones:set").size(), 4u);
    EXPECT_EQ(env.mirror_set("marovane:trackable_objects:set").size(), 4u);

    // And it follows the service again.
    env.leave(forklift, dock, 7600, 1500, 0);
    EXPECT_EQ(env.wait_for_alarm_posts(forklift, dock, 2).size(), 2u);
    EXPECT_TRUE(env.wait_until(
        [&] { return env.mirror_set(alarms_set) == std::set<std::string>{forklift + ":" + yard}; },
        5s));
}

TEST_F(e2e_mirror_test, redis_down_at_start_stops_no_alarm_and_the_mirror_appears_once_it_is_up) {
    auto options = test::default_e2e_options();
    options.edit_config = [](Json::Value& config) { config["redis"]["startup_wait"] = 1; };
    m_env = std::make_unique<test::e2e_environment>(options);
    auto& env = *m_env;
    env.redis().stop();
    env.start_service();

    // After the bound the service runs without Redis: it clears the platform's
    // stale alarm, and raises one for an entry (repeated until the service
    // follows the stream).
    ASSERT_EQ(env.wait_for_alarm_posts(worker, dock, 1, 20s).size(), 1u);
    ASSERT_TRUE(env.wait_until([&] { return !env.alarm_posts(forklift, dock).empty(); }, 10s,
                               [&] { env.enter(forklift, dock, 8500, 1000, 0); }));
    EXPECT_TRUE(env.service().wait_for_output(
        "unreachable after 1 s: starting with the mirror suspended; it is written once Redis "
        "answers",
        0ms));

    env.redis().restart();
    // Nothing changes meanwhile: the writer's own reconnection writes it whole.
    EXPECT_TRUE(env.wait_until(
        [&] {
            return env.mirror_set("marovane:zones:set").size() == 4u &&
                   env.mirror_set("marovane:trackable_objects:set").size() == 4u &&
                   env.mirror_set(alarms_set) == std::set<std::string>{forklift + ":" + dock};
        },
        40s));
    EXPECT_EQ(env.mirror_hash("marovane:alarms:" + forklift + ":" + dock)["state"], "set");
}

}  // namespace
}  // namespace zentu
