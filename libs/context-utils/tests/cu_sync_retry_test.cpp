#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/clock.hpp"
#include "support/cu_sync_fixture.hpp"

namespace zentu::libs::context_utils {
namespace {

// A clock whose waits pass at once, so retry periods cost no time.
class instant_clock : public core::clock {
public:
    time_point current_time_point() const override { return m_now; }
    core::timestamp current_timestamp() const override { return {}; }
    bool wait_for(std::chrono::nanoseconds period, const std::function<bool()>&) override {
        m_now += period;
        return true;
    }

private:
    time_point m_now{};
};

class cu_sync_retry : public testing::sync_fixture {};

TEST_F(cu_sync_retry, unavailable_server_is_retried_until_it_answers) {
    m_server.queue_responses("/api/private/zones/", {reply(503, "busy"), reply(503, "busy"),
                                                     reply(200, R"({"zones": [{"uid": "z1"}]})")});
    instant_clock clock;
    const auto synchronizer = context_synchronizer::create(*m_client, *m_loop, m_logger, &clock);
    std::vector<std::string> uids;
    const auto start = clock.current_time_point();
    EXPECT_TRUE(synchronizer->for_each_zone_on_server([&](parsers::zone& zone) {
        uids.push_back(zone.get_uid());
        return true;
    }));
    const auto waited = clock.current_time_point() - start;

    EXPECT_EQ(uids, std::vector<std::string>{"z1"});
    EXPECT_EQ(m_server.request_count(), 3u);
    // Two full retry periods passed between the three requests.
    EXPECT_GE(waited, std::chrono::seconds(10));
}

}  // namespace
}  // namespace zentu::libs::context_utils
