// The operator's JSON API over real HTTP, against the running daemon and the
// platform simulator: one query per endpoint, a filter, and the errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/e2e_fixture.hpp"
#include "test_kit/http_client.hpp"

namespace zentu {
namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;

class e2e_api_test : public test::e2e_test {
protected:
    // Starts everything with the API on a free port; returns its base URL.
    std::string start_with_api() {
        auto options = test::default_e2e_options();
        options.edit_config = [](Json::Value& config) {
            config["metrics"]["listen"] = "127.0.0.1:0";
        };
        auto& env = start(options);
        const auto serving = env.service().wait_for_output("Serving /metrics and /healthz", 10s);
        if (!serving)
            return {};
        const std::string port = serving->substr(serving->rfind("port ") + 5);
        return "http://127.0.0.1:" + port.substr(0, port.find(')'));
    }
};

TEST_F(e2e_api_test, answers_status_alarms_objects_and_zones_from_the_live_state) {
    const std::string base = start_with_api();
    ASSERT_FALSE(base.empty()) << m_env->service_output();
    auto& env = *m_env;

    const auto status = test_kit::http_get(base + "/v1/status");
    ASSERT_EQ(status.status, 200) << status.body;
    EXPECT_EQ(status.json()["counts"]["zones"].asInt(), 4) << status.body;
    EXPECT_TRUE(status.json()["stream"]["connected"].asBool()) << status.body;
    EXPECT_TRUE(status.json()["redis_mirror"]["up"].isBool()) << status.body;

    env.enter("obj-forklift-1", "zone-ko-dock-3", 8500, 1000, 0);
    env.wait_for_alarm_posts("obj-forklift-1", "zone-ko-dock-3", 1);
    Json::Value alarm;
    ASSERT_TRUE(env.wait_until(
        [&] {
            const auto alarms = test_kit::http_get(base + "/v1/alarms?zone=zone-ko-dock-3").json();
            if (alarms["alarms"].size() != 1 || !alarms["alarms"][0]["in_flight"].isNull())
                return false;
            alarm = alarms["alarms"][0];
            return true;
        },
        10s));
    EXPECT_EQ(alarm["object"], "obj-forklift-1");
    EXPECT_EQ(alarm["kind"], "keep_out");
    EXPECT_EQ(alarm["wanted"], "set");
    EXPECT_EQ(alarm["confirmed"]["keep_out"], "set");
    EXPECT_EQ(alarm["waiting"], "resend");
    // The filters narrow the list; nothing is undelivered.
    EXPECT_EQ(test_kit::http_get(base + "/v1/alarms?zone=zone-ki-yard").json()["alarms"].size(),
              0U);
    EXPECT_EQ(test_kit::http_get(base + "/v1/alarms?undelivered=1").json()["alarms"].size(), 0U);

    const auto object = test_kit::http_get(base + "/v1/objects/obj-forklift-1");
    ASSERT_EQ(object.status, 200) << object.body;
    EXPECT_EQ(object.json()["keep_out"], "inside keep-out zone Dock 3") << object.body;
    EXPECT_EQ(object.json()["keep_in"], "no alarm: inside Yard") << object.body;
    EXPECT_EQ(object.json()["keep_out_zones"][0]["uid"], "zone-ko-dock-3") << object.body;

    const auto zone = test_kit::http_get(base + "/v1/zones/zone-ko-dock-3");
    ASSERT_EQ(zone.status, 200) << zone.body;
    EXPECT_EQ(zone.json()["type"], "keep_out") << zone.body;
    EXPECT_EQ(zone.json()["objects_inside"][0], "obj-forklift-1") << zone.body;
}

TEST_F(e2e_api_test, unknown_uids_bad_paths_and_other_methods_are_refused_in_json) {
    const std::string base = start_with_api();
    ASSERT_FALSE(base.empty()) << m_env->service_output();
    const auto unknown = test_kit::http_get(base + "/v1/objects/nobody");
    EXPECT_EQ(unknown.status, 404);
    EXPECT_THAT(unknown.json()["error"].asString(), HasSubstr("nobody"));
    EXPECT_EQ(test_kit::http_get(base + "/v1/zones/nowhere").status, 404);
    const auto bad = test_kit::http_get(base + "/v1/everything");
    EXPECT_EQ(bad.status, 400);
    EXPECT_TRUE(bad.json()["error"].isString()) << bad.body;
    EXPECT_EQ(test_kit::http_get(base + "/v1/alarms?colour=red").status, 400);
    const auto post = test_kit::http_post(base + "/v1/status", "{}");
    EXPECT_EQ(post.status, 405);
    EXPECT_TRUE(post.json()["error"].isString()) << post.body;
}

}  // namespace
}  // namespace zentu
