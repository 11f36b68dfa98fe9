// When the service resynchronises from the platform, on a fake clock: the
// rate limit and what waits for it, rebuilds under way, retries after a
// failure, and what /healthz says meanwhile.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alarms_fakes.hpp"
#include "intake/resync_schedule.hpp"
#include "ops/metrics.hpp"

namespace zentu {
namespace {

using namespace std::chrono_literals;
using cause = resync_schedule::cause;

const libs::core::logger& test_logger() {
    static const libs::core::logger logger("marovane-test", "resync");
    return logger;
}

class resync_schedule_test : public ::testing::Test {
protected:
    resync_schedule_test() {
        m_metrics.service_stands(true);
        m_metrics.startup_finished(1s);
    }

    // A rebuild starts whenever asked, unless one is under way.
    void start(const std::string& why) {
        if (m_rebuilding)
            return;
        m_started.push_back(why);
        m_rebuilding = true;
        m_schedule.rebuild_started();
    }
    void finish(bool ok, const std::string& failure = {}) {
        m_rebuilding = false;
        m_schedule.rebuild_finished(ok, failure);
    }
    void advance(std::chrono::nanoseconds by) { m_timers.advance(by); }
    std::string health() const {
        const auto report = m_metrics.health();
        return report.ok ? "ok" : report.reason;
    }

    test::fake_timers m_timers;
    ops::service_metrics m_metrics;
    std::vector<std::string> m_started;
    bool m_rebuilding = false;
    resync_schedule m_schedule{m_timers, test_logger(),
                               [this](const std::string& why) { start(why); }, m_metrics};
};

TEST_F(resync_schedule_test, a_gap_starts_at_once_and_later_ones_wait_for_the_window) {
    m_schedule.ask(cause::gap, "stream reconnected after 3.0 s");
    EXPECT_EQ(m_started, (std::vector<std::string>{"stream reconnected after 3.0 s"}));
    EXPECT_EQ(health(), "resynchronisation pending: stream reconnected after 3.0 s");

    // Asked while it runs: it read the platform too early for this one.
    advance(1s);
    m_schedule.ask(cause::gap, "stream reconnected after 0.5 s");
    finish(true);
    EXPECT_EQ(m_started.size(), 1u);
    EXPECT_EQ(health(), "resynchronisation pending: stream reconnected after 0.5 s");
    m_schedule.ask(cause::gap, "stream reconnected after 0.2 s");  // joins the one waiting

    advance(3900ms);
    EXPECT_EQ(m_started.size(), 1u);
    advance(100ms);  // 5 s after the first started
    ASSERT_EQ(m_started.size(), 2u);
    finish(true);
    EXPECT_EQ(health(), "ok");
    EXPECT_FALSE(m_schedule.pending());
    EXPECT_EQ(m_metrics.resyncs.value("ok"), 2u);
    EXPECT_TRUE(m_timers.armed().empty());
}

TEST_F(resync_schedule_test, a_rebuild_under_way_is_waited_for_and_one_started_later_covers) {
    // The periodic rebuild is under way: it may have read the platform
    // before the gap, so another follows it.
    start("periodic");
    m_schedule.ask(cause::gap, "stream reconnected after 2.0 s");
    finish(true);
    EXPECT_EQ(m_started, (std::vector<std::string>{"periodic", "stream reconnected after 2.0 s"}));
    finish(true);
    EXPECT_EQ(m_metrics.resyncs.value("ok"), 1u);

    // Any rebuild that starts after the need covers it, and is not counted
    // as a resynchronisation.
    advance(1s);
    m_schedule.ask(cause::unknown_positions, "1 trackable objects of unknown position", 2s);
    start("asked for");
    finish(true);
    EXPECT_FALSE(m_schedule.pending());
    EXPECT_TRUE(m_timers.armed().empty());
    EXPECT_EQ(m_metrics.resyncs.value("ok"), 1u);
}

TEST_F(resync_schedule_test, unknown_positions_are_batched_and_show_only_once_failed) {
    m_schedule.ask(cause::unknown_positions, "1 trackable objects of unknown position", 2s);
    advance(1s);
    m_schedule.ask(cause::unknown_positions, "2 trackable objects of unknown position", 2s);
    EXPECT_TRUE(m_schedule.pending());
    EXPECT_EQ(health(), "ok");
    advance(1s);  // 2 s after the first
    EXPECT_EQ(m_started, (std::vector<std::string>{"1 trackable objects of unknown position"}));

    // Retried until it succeeds: 5 s, 10 s, 20 s, 40 s, then every 60 s.
    finish(false, "the platform did not give /api/private/zones/");
    EXPECT_EQ(health(),
              "resynchronisation pending: 1 trackable objects of unknown position; the last "
              "attempt failed: the platform did not give /api/private/zones/");
    for (const auto wait : {5s, 10s, 20s, 40s, 60s, 60s}) {
        const auto before = m_started.size();
        advance(wait - 1ms);
        EXPECT_EQ(m_started.size(), before) << "after " << wait.count() << " s";
        advance(1ms);
        ASSERT_EQ(m_started.size(), before + 1) << "after " << wait.count() << " s";
        finish(false, "time-out");
    }
    advance(60s);
    finish(true);
    EXPECT_EQ(health(), "ok");
    EXPECT_EQ(m_metrics.resyncs.value("failed"), 7u);
    EXPECT_EQ(m_metrics.resyncs.value("ok"), 1u);

    // A success starts the back-off afresh.
    advance(10s);
    m_schedule.ask(cause::gap, "stream reconnected after 1.0 s");
    finish(false, "time-out");
    advance(5s);
    EXPECT_EQ(m_started.size(), 10u);
}

}  // namespace
}  // namespace zentu
