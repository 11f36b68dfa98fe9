// The platform's message stream goes away for a while and comes back: what
// it carried meanwhile is lost, and the service repairs it from the lists.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <string>
#include <thread>

#include "support/e2e_fixture.hpp"

namespace zentu {
namespace {

using namespace std::chrono_literals;

const std::string dock = "zone-ko-dock-3";

class e2e_resync_test : public test::e2e_test {};

TEST_F(e2e_resync_test, changes_missed_while_the_stream_was_away_are_repaired_when_it_is_back) {
    auto& env = start(test::default_e2e_options());
    env.enter("obj-forklift-1", dock, 8500, 1000, 0);
    ASSERT_EQ(env.wait_for_alarm_posts("obj-forklift-1", dock, 1).size(), 1u);

    // A platform restart: the lists follow what happens, the stream loses it.
    env.control("publisher", test::parse_json(R"({"up": false})"));
    env.leave("obj-forklift-1", dock, 7600, 1500, 0);
    env.enter("obj-visitor-2", dock, 8600, 1200, 0);
    // The gap itself: real time, the service's stream must notice it.
    std::this_thread::sleep_for(3s);
    const auto back = libs::core::timestamp::current_time();
    env.control("publisher", test::parse_json(R"({"up": true})"));

    const auto cleared = env.wait_for_alarm_posts("obj-forklift-1", dock, 2);
    const auto raised = env.wait_for_alarm_posts("obj-visitor-2", dock, 1);
    ASSERT_EQ(cleared.size(), 2u);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(cleared.back()["body"]["state"], "clear");
    EXPECT_EQ(raised.back()["body"]["state"], "set");
    // How soon is measured, not asserted: without the repair it would wait
    // for the periodic rebuild, minutes after the waits above gave up.
    const auto repaired = std::max(test::request_time(cleared.back()) - back,
                                   test::request_time(raised.back()) - back);
    std::cout << "repaired " << repaired.count() << " ms after the stream came back\n";
    EXPECT_TRUE(env.service().wait_for_output("resynchronising", 1s));
}

// The publisher is not there when the service starts: the lists are read
// without the stream, and what happens before it connects is repaired then.
TEST_F(e2e_resync_test, changes_before_the_streams_first_connection_are_repaired_when_it_comes) {
    m_env = std::make_unique<test::e2e_environment>(test::default_e2e_options());
    auto& env = *m_env;
    env.control("publisher", test::parse_json(R"({"up": false})"));
    env.start_service();
    ASSERT_TRUE(env.service().wait_for_output("resynchronising once it connects", 10s));
    // The entry comes after the last list of the load, into the gap.
    ASSERT_TRUE(env.wait_until(
        [&] {
            for (const auto& request : env.requests())
                if (request["path"] == "/api/private/alarm_types/")
                    return true;
            return false;
        },
        10s));
    env.enter("obj-forklift-1", dock, 8500, 1000, 0);
    env.control("publisher", test::parse_json(R"({"up": true})"));

    const auto raised = env.wait_for_alarm_posts("obj-forklift-1", dock, 1);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised.back()["body"]["state"], "set");
    EXPECT_TRUE(env.service().wait_for_output("stream connected only after the start's load", 5s));
}

}  // namespace
}  // namespace zentu
