// marovane-ctl as a process against the running daemon and the platform
// simulator: a table for people, JSON for scripts, and its exit statuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "support/e2e_fixture.hpp"

namespace zentu {
namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;

struct ctl_run {
    int status = -1;
    std::string output;
};

ctl_run run_ctl(std::vector<std::string> args) {
    static int runs = 0;
    args.insert(args.begin(), MAROVANE_CTL_BINARY);
    test::child_process ctl(args, testing::TempDir() + "/ctl-" + std::to_string(::getpid()) + "-" +
                                      std::to_string(runs++) + ".out");
    const auto status = ctl.wait(30s);
    return {status.value_or(-1), ctl.output()};
}

class e2e_ctl_test : public test::e2e_test {};

TEST_F(e2e_ctl_test, tables_json_and_exit_statuses) {
    auto options = test::default_e2e_options();
    options.edit_config = [](Json::Value& config) { config["metrics"]["listen"] = "127.0.0.1:0"; };
    auto& env = start(options);
    const auto serving = env.service().wait_for_output("Serving /metrics and /healthz", 10s);
    ASSERT_TRUE(serving) << env.service_output();
    std::string port = serving->substr(serving->rfind("port ") + 5);
    port = port.substr(0, port.find(')'));

    env.enter("obj-forklift-1", "zone-ko-dock-3", 8500, 1000, 0);
    env.wait_for_alarm_posts("obj-forklift-1", "zone-ko-dock-3", 1);

    // The address from the configuration's metrics.listen.
    const std::string config = testing::TempDir() + "/ctl-" + std::to_string(::getpid()) + ".json";
    std::ofstream(config) << R"({"metrics": {"listen": "0.0.0.0:)" << port << R"("}})";
    const auto table = run_ctl({"-c", config, "alarms", "--object", "obj-forklift-1"});
    EXPECT_EQ(table.status, 0) << table.output;
    EXPECT_THAT(table.output, HasSubstr("OBJECT"));
    EXPECT_THAT(table.output, HasSubstr("zone-ko-dock-3"));
    EXPECT_THAT(table.output, HasSubstr("1 alarm"));

    const std::string url = "http://127.0.0.1:" + port;
    const auto json = run_ctl({"--url", url, "--json", "explain", "obj-forklift-1"});
    EXPECT_EQ(json.status, 0) << json.output;
    EXPECT_EQ(test::parse_json(json.output)["keep_out"], "inside keep-out zone Dock 3")
        << json.output;

    const auto unknown = run_ctl({"--url", url, "zone", "no-such-zone"});
    EXPECT_EQ(unknown.status, 2) << unknown.output;
    EXPECT_THAT(unknown.output, HasSubstr("no zone no-such-zone"));
    EXPECT_EQ(run_ctl({"--url", url, "alarms", "--colour"}).status, 2);
}

TEST(ctl_process_test, an_unreachable_service_exits_1_with_its_address) {
    // Port 1 on loopback: nothing listens there.
    const auto down = run_ctl({"--url", "http://127.0.0.1:1", "status"});
    EXPECT_EQ(down.status, 1) << down.output;
    EXPECT_THAT(down.output, HasSubstr("cannot reach the service at http://127.0.0.1:1"));
    const auto no_config = run_ctl({"-c", "/nonexistent/marovane.json", "status"});
    EXPECT_EQ(no_config.status, 2) << no_config.output;
    EXPECT_THAT(no_config.output, HasSubstr("/nonexistent/marovane.json"));
}

}  // namespace
}  // namespace zentu
