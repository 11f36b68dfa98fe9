#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/cu_sync_fixture.hpp"

namespace zentu::libs::context_utils {
namespace {

// The only test that waits through real retry periods (two of 5 seconds).
class cu_sync_retry : public testing::sync_fixture {};

TEST_F(cu_sync_retry, unavailable_server_is_retried_until_it_answers) {
    m_server.set_response("/api/private/zones/", reply(503, "busy"));
    std::thread switcher([&] {
        if (m_server.wait_for_requests(2, std::chrono::seconds(20)))
            serve("/api/private/zones/", R"({"zones": [{"uid": "z1"}]})");
    });
    std::vector<std::string> uids;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(m_synchronizer->for_each_zone_on_server([&](parsers::zone& zone) {
        uids.push_back(zone.get_uid());
        return true;
    }));
    const auto waited = std::chrono::steady_clock::now() - start;
    switcher.join();

    EXPECT_EQ(uids, std::vector<std::string>{"z1"});
    EXPECT_EQ(m_server.request_count(), 3u);
    // Two full retry periods passed between the three requests.
    EXPECT_GE(waited, std::chrono::seconds(10));
}

}  // namespace
}  // namespace zentu::libs::context_utils
