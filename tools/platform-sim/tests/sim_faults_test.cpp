#include <gtest/gtest.h>

#include <future>

#include "support/sim_test_support.hpp"
#include "test_kit/http_client.hpp"

namespace zentu::platform_sim::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
using test_kit::http_get;
using test_kit::http_post;

const std::string zones_path = "/api/private/zones/";

class sim_faults : public ::testing::Test {
protected:
    void SetUp() override {
        m_sim = start_simulator(read_json_file(std::string(MAROVANE_SIM_EXAMPLES) + "/site.json"));
        m_url = base_url(*m_sim);
    }

    void control(const std::string& command, const std::string& body) {
        auto answer = http_post(m_url + "/sim/" + command, body);
        ASSERT_EQ(answer.status, 200) << command << ": " << answer.body;
    }

    simulator::ptr m_sim;
    std::string m_url;
};

TEST_F(sim_faults, fail_answers_the_next_n_requests_of_its_path_only) {
    control("fail", R"({"path": "/api/private/zones/", "status": 503, "count": 2,
                        "body": {"detail": "maintenance"}})");
    EXPECT_EQ(http_get(m_url + "/api/private/track_obj/").status, 200) << "other paths unaffected";
    auto first = http_get(m_url + zones_path);
    EXPECT_EQ(first.status, 503);
    EXPECT_EQ(first.json()["detail"], "maintenance");
    EXPECT_EQ(http_get(m_url + zones_path).status, 503);
    auto third = http_get(m_url + zones_path);
    EXPECT_EQ(third.status, 200);
    EXPECT_EQ(third.json()["zones"].size(), 4u);

    auto requests = http_get(m_url + "/sim/requests").json()["requests"];
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[1]["outcome"], "injected");
    EXPECT_EQ(requests[1]["status"], 503);
    EXPECT_EQ(requests[3]["outcome"], "served");
}

TEST_F(sim_faults, an_injected_failure_of_an_alarm_post_opens_nothing) {
    control("fail", R"({"path": "*", "status": 500})");
    auto body = R"({"obj_uid": "o", "mac_address": "m", "alarm_name": "zone_violation",
        "state": "set", "obj_class": "TO", "ts": 1, "ms": 0, "sublocation_uid": null,
        "additional_info": {"zone_alarm_level": 1, "zone_uid": "z", "text": "t",
                            "zone_violation_type": "keep_in"}})";
    EXPECT_EQ(http_post(m_url + "/api/private/alarms/", body).status, 500);
    EXPECT_EQ(http_get(m_url + "/sim/alarms").json()["alarms"].size(), 1u);
    EXPECT_EQ(http_post(m_url + "/api/private/alarms/", body).status, 200);
    EXPECT_EQ(http_get(m_url + "/sim/alarms").json()["alarms"].size(), 2u);
}

TEST_F(sim_faults, delay_holds_answers_back_and_reset_ends_it) {
    control("delay", R"({"path": "/api/private/zones/", "ms": 800})");
    auto start = steady_clock::now();
    EXPECT_EQ(http_get(m_url + zones_path).status, 200);
    EXPECT_GE(steady_clock::now() - start, milliseconds(800));

    // Control requests are never delayed, or a test could not undo a fault.
    start = steady_clock::now();
    control("reset-faults", "{}");
    EXPECT_LT(steady_clock::now() - start, milliseconds(800));
    start = steady_clock::now();
    EXPECT_EQ(http_get(m_url + zones_path).status, 200);
    EXPECT_LT(steady_clock::now() - start, milliseconds(800));
}

TEST_F(sim_faults, close_drops_connections_without_an_answer) {
    control("close", R"({"path": "/api/private/alarms/", "count": 1})");
    auto dropped = http_get(m_url + "/api/private/alarms/");
    EXPECT_EQ(dropped.status, 0);
    EXPECT_TRUE(dropped.body.empty());
    EXPECT_EQ(http_get(m_url + "/api/private/alarms/").status, 200);
    auto requests = http_get(m_url + "/sim/requests").json()["requests"];
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0]["outcome"], "closed");
    EXPECT_EQ(requests[0]["status"], 0);
}

TEST_F(sim_faults, hang_holds_requests_until_resumed) {
    control("hang", R"({"on": true})");
    auto pending = std::async(std::launch::async, [this] { return http_get(m_url + zones_path); });
    EXPECT_EQ(pending.wait_for(milliseconds(800)), std::future_status::timeout);
    EXPECT_EQ(http_get(m_url + "/sim/health").status, 200) << "control stays available";
    control("hang", R"({"on": false})");
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    auto answer = pending.get();
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.json()["zones"].size(), 4u);
}

TEST_F(sim_faults, malformed_fault_commands_are_refused) {
    EXPECT_EQ(http_post(m_url + "/sim/fail", R"({"path": "/x", "status": 42})").status, 400);
    EXPECT_EQ(http_post(m_url + "/sim/fail", R"({"status": 500})").status, 400);
    EXPECT_EQ(http_post(m_url + "/sim/delay", R"({"path": "/x", "ms": -5})").status, 400);
    EXPECT_EQ(http_post(m_url + "/sim/hang", R"({"on": "yes"})").status, 400);
    EXPECT_EQ(http_post(m_url + "/sim/hang", "{on").status, 400);
    EXPECT_EQ(http_post(m_url + "/sim/nothing", "{}").status, 404);
    EXPECT_EQ(http_get(m_url + zones_path).status, 200);
}

TEST(sim_fault_rules, an_exact_path_rule_is_used_before_the_catch_all) {
    auto rules = faults::create();
    rules->fail("*", 500, 1, "");
    rules->fail(zones_path, 503, 1, "busy");
    rules->delay("*", milliseconds(40));
    rules->close("/api/private/alarms/", 1);

    auto first = rules->next(zones_path);
    EXPECT_EQ(first.status, 503u);
    EXPECT_EQ(first.body, "busy");
    EXPECT_EQ(first.delay, milliseconds(40));
    EXPECT_EQ(rules->next(zones_path).status, 500u);
    EXPECT_FALSE(rules->next(zones_path).status);

    auto closed = rules->next("/api/private/alarms/");
    EXPECT_TRUE(closed.close);
    EXPECT_FALSE(closed.status);
    EXPECT_FALSE(rules->next("/api/private/alarms/").close);

    int resumed = 0;
    rules->on_resume([&resumed] { ++resumed; });
    rules->hang(true);
    EXPECT_TRUE(rules->next(zones_path).hang);
    rules->reset();
    EXPECT_EQ(resumed, 1);
    auto after = rules->next(zones_path);
    EXPECT_FALSE(after.hang);
    EXPECT_EQ(after.delay, milliseconds(0));
}

}  // namespace
}  // namespace zentu::platform_sim::test
