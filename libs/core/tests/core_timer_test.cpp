#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/core_loop_fixture.hpp"

namespace zentu::libs::core {
namespace {

using namespace std::chrono_literals;
using time_point = timer::time_point;

class core_timer_test : public testing::loop_fixture {
protected:
    // Stops the loop after a generous time so a broken timer fails instead of hanging.
    timer::ptr watchdog() {
        return loop().create_timer(
            timers().current_time_point() + 10s, "watchdog",
            [this](time_point) {
                m_watchdog_fired = true;
                loop().stop();
            },
            ZENTU_SOURCE_LOCATION());
    }

    bool m_watchdog_fired = false;
};

TEST_F(core_timer_test, reset_of_pending_timer_calls_back_once_with_new_time) {
    std::vector<time_point> calls;
    auto t = timers().create_timer(
        1h, "t", [&](time_point tp) { calls.push_back(tp); }, ZENTU_SOURCE_LOCATION());
    EXPECT_TRUE(t->is_waiting());
    const time_point due = timers().current_time_point() + 10ms;
    t->reset(due);
    loop().run();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], due);
    EXPECT_FALSE(t->is_waiting());
}

TEST_F(core_timer_test, stale_completion_of_rearmed_timer_never_calls_back) {
    // Both timers expire in the same pass, so both completions are queued
    // before either runs; the first one re-arms the other.
    const time_point past = timers().current_time_point() - 1ms;
    std::vector<std::pair<int, time_point>> calls;
    timer::ptr timers_pair[2];
    for (int i = 0; i < 2; ++i) {
        timers_pair[i] = timers().create_timer(
            past, "t",
            [&, i](time_point tp) {
                calls.emplace_back(i, tp);
                if (calls.size() == 1)
                    timers_pair[1 - i]->reset(tp + 30ms);
            },
            ZENTU_SOURCE_LOCATION());
    }
    loop().run();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].second, past);
    EXPECT_NE(calls[0].first, calls[1].first);
    EXPECT_EQ(calls[1].second, past + 30ms);
}

TEST_F(core_timer_test, rearming_at_the_same_time_point_calls_back_once) {
    // As above, but the re-armed expiry equals the stale one: only the new
    // arming may call back.
    const time_point past = timers().current_time_point() - 1ms;
    std::vector<int> calls;
    timer::ptr timers_pair[2];
    for (int i = 0; i < 2; ++i) {
        timers_pair[i] = timers().create_timer(
            past, "t",
            [&, i](time_point) {
                calls.push_back(i);
                if (calls.size() == 1)
                    timers_pair[1 - i]->reset(past);
            },
            ZENTU_SOURCE_LOCATION());
    }
    loop().run();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NE(calls[0], calls[1]);
}

TEST_F(core_timer_test, destroying_a_timer_in_its_own_callback_is_safe) {
    int calls = 0;
    timer::ptr t;
    t = timers().create_timer(
        1ms, "t",
        [&](time_point) {
            ++calls;
            t.reset();
        },
        ZENTU_SOURCE_LOCATION());
    loop().run();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(t, nullptr);
}

TEST_F(core_timer_test, destroyed_or_stopped_timers_never_call_back) {
    int calls = 0;
    auto destroyed = timers().create_timer(
        1ms, "destroyed", [&](time_point) { ++calls; }, ZENTU_SOURCE_LOCATION());
    auto stopped = timers().create_timer(
        1ms, "stopped", [&](time_point) { ++calls; }, ZENTU_SOURCE_LOCATION());
    destroyed.reset();
    stopped->stop();
    EXPECT_FALSE(stopped->is_waiting());
    std::this_thread::sleep_for(5ms);
    loop().run();
    EXPECT_EQ(calls, 0);

    // A stopped timer can be armed again.
    const time_point due = timers().current_time_point() + 1ms;
    stopped->reset(due);
    EXPECT_TRUE(stopped->is_waiting());
    loop().get_io_context().restart();
    loop().run();
    EXPECT_EQ(calls, 1);
}

TEST_F(core_timer_test, callback_exception_escapes_run) {
    auto t = timers().create_timer(
        1ms, "t", [](time_point) { throw std::runtime_error("boom"); }, ZENTU_SOURCE_LOCATION());
    EXPECT_THROW(loop().run(), std::runtime_error);
}

TEST_F(core_timer_test, periodic_with_execute_now_fires_at_once_then_every_period) {
    const time_point created = timers().current_time_point();
    std::vector<time_point> dues;
    periodic_timer::ptr p = timers().create_periodic_timer(
        20ms, periodic_timer::execute_now{}, "p",
        [&](time_point due) {
            dues.push_back(due);
            if (dues.size() == 3) {
                p.reset();
                loop().stop();
            }
        },
        ZENTU_SOURCE_LOCATION());
    auto guard = watchdog();
    loop().run_catch_exceptions(ZENTU_SOURCE_LOCATION());
    ASSERT_FALSE(m_watchdog_fired);
    ASSERT_EQ(dues.size(), 3u);
    EXPECT_LT(dues[0] - created, 20ms);
    EXPECT_EQ(dues[1] - dues[0], 20ms);
    EXPECT_EQ(dues[2] - dues[1], 20ms);
}

TEST_F(core_timer_test, slow_periodic_callback_skips_missed_periods_and_keeps_phase) {
    constexpr auto period = 50ms;
    struct call {
        time_point due;
        time_point started;
    };
    std::vector<call> calls;
    periodic_timer::ptr p = timers().create_periodic_timer(
        period, "p",
        [&](time_point due) {
            calls.push_back({due, timers().current_time_point()});
            if (calls.size() == 1)
                std::this_thread::sleep_for(period * 3 + period / 2);
            if (calls.size() == 4) {
                p.reset();
                loop().stop();
            }
        },
        ZENTU_SOURCE_LOCATION());
    auto guard = watchdog();
    loop().run();
    ASSERT_FALSE(m_watchdog_fired);
    ASSERT_EQ(calls.size(), 4u);
    for (std::size_t i = 1; i < calls.size(); ++i) {
        // In phase: every due time is a whole number of periods after the first.
        EXPECT_EQ((calls[i].due - calls[0].due) % period, std::chrono::nanoseconds(0)) << i;
        // No burst: each expiry is due after the previous callback started.
        EXPECT_GT(calls[i].due, calls[i - 1].started) << i;
    }
    // The expiry overdue while the slow callback ran is delivered once, then
    // the missed ones are skipped.
    EXPECT_EQ(calls[1].due - calls[0].due, period);
    EXPECT_GT(calls[2].due - calls[1].due, period);
}

TEST_F(core_timer_test, periodic_expire_now_runs_at_once_also_when_stopped) {
    std::vector<time_point> dues;
    auto p = timers().create_periodic_timer(
        1h, "p",
        [&](time_point due) {
            dues.push_back(due);
            loop().stop();
        },
        ZENTU_SOURCE_LOCATION());
    auto guard = watchdog();
    p->expire_now();
    loop().run();
    ASSERT_EQ(dues.size(), 1u);

    p->stop();
    p->expire_now();
    loop().get_io_context().restart();
    loop().run();
    ASSERT_FALSE(m_watchdog_fired);
    EXPECT_EQ(dues.size(), 2u);
}

TEST_F(core_timer_test, periodic_reset_changes_period_and_stop_silences) {
    int calls = 0;
    auto p = timers().create_periodic_timer(
        1h, "p", [&](time_point) { ++calls; }, ZENTU_SOURCE_LOCATION());
    p->reset(10ms);
    auto stopper = timers().create_timer(
        100ms, "stopper", [&](time_point) { p->stop(); }, ZENTU_SOURCE_LOCATION());
    loop().run();
    EXPECT_GE(calls, 1);
    EXPECT_THROW(p->reset(0ns), check_failed_exception);
}

TEST_F(core_timer_test, clocks) {
    const auto wall = timers().current_timestamp();
    EXPECT_LT(std::chrono::abs(wall - timestamp::current_time()), 5000ms);
    const auto a = timers().current_time_point();
    const auto b = timers().current_time_point();
    EXPECT_LE(a, b);
}

}  // namespace
}  // namespace zentu::libs::core
