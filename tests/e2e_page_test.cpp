// The status page in a real headless browser, served by the running daemon
// with the platform simulator behind it: its script reads the API and the
// rendered page lists an open alarm; a screenshot is taken at a phone's width.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/e2e_fixture.hpp"

namespace zentu {
namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;

// The browser on the PATH, if any.
std::string find_chromium() {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        for (const char* name : {"chromium", "chromium-browser"})
            if (const std::string candidate = dir + "/" + name;
                ::access(candidate.c_str(), X_OK) == 0)
                return candidate;
    return {};
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class e2e_page_test : public test::e2e_test {};

TEST_F(e2e_page_test, the_browser_renders_health_and_the_open_alarms) {
    const std::string chromium = find_chromium();
    if (chromium.empty())
        GTEST_SKIP() << "no chromium on the PATH (scripts/install-deps installs it)";

    auto options = test::default_e2e_options();
    options.edit_config = [](Json::Value& config) { config["metrics"]["listen"] = "127.0.0.1:0"; };
    auto& env = start(options);
    const auto serving = env.service().wait_for_output("Serving /metrics and /healthz", 10s);
    ASSERT_TRUE(serving) << env.service_output();
    std::string port = serving->substr(serving->rfind("port ") + 5);
    const std::string url = "http://127.0.0.1:" + port.substr(0, port.find(')')) + "/";
    env.enter("obj-forklift-1", "zone-ko-dock-3", 8500, 1000, 0);
    env.wait_for_alarm_posts("obj-forklift-1", "zone-ko-dock-3", 1);

    const std::string dir = testing::TempDir() + "/page-" + std::to_string(::getpid());
    const auto browse = [&](const std::string& what, std::vector<std::string> extra) {
        std::vector<std::string> argv{chromium, "--headless", "--disable-gpu", "--no-sandbox",
                                      "--no-first-run", "--user-data-dir=" + dir + "/profile",
                                      // Lets the page's requests finish before the dump.
                                      "--virtual-time-budget=10000", "--window-size=412,900"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        argv.push_back(url);
        test::child_process browser(argv, dir + "-" + what + ".out");
        const auto status = browser.wait(90s);
        return std::make_pair(status.value_or(-1), browser.output());
    };

    const auto [dumped, dom] = browse("dom", {"--dump-dom"});
    if (dumped != 0 && dom.find("<html") == std::string::npos)
        GTEST_SKIP() << "chromium could not start here (status " << dumped << "): " << dom;
    EXPECT_THAT(dom, HasSubstr("<td>obj-forklift-1</td>"));
    EXPECT_THAT(dom, HasSubstr("<td>zone-ko-dock-3</td>"));
    EXPECT_THAT(dom, HasSubstr("1 alarm"));

    const std::string shot = dir + "-page.png";
    const auto [shot_status, shot_output] = browse("shot", {"--screenshot=" + shot});
    EXPECT_EQ(shot_status, 0) << shot_output;
    const std::string png = read_file(shot);
    ASSERT_GT(png.size(), 8U) << shot_output;
    EXPECT_EQ(png.substr(1, 3), "PNG");
}

}  // namespace
}  // namespace zentu
