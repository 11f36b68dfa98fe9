// Signals are process-wide: these tests live in their own executable.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "support/core_loop_fixture.hpp"

namespace zentu::libs::core {
namespace {

using namespace std::chrono_literals;

class core_signals_test : public testing::loop_fixture {
protected:
    // Stops the loop after a generous time so a lost signal fails instead of hanging.
    timer::ptr watchdog() {
        return loop().create_timer(
            timers().current_time_point() + 10s, "watchdog",
            [this](timer::time_point) {
                m_watchdog_fired = true;
                loop().stop();
            },
            ZENTU_SOURCE_LOCATION());
    }

    bool wait_for_signal(const events_loop::signals_handle& handle) {
        for (int i = 0; i < 1000 && !handle.signal_is_received(); ++i)
            std::this_thread::sleep_for(10ms);
        return handle.signal_is_received();
    }

    bool m_watchdog_fired = false;
};

TEST_F(core_signals_test, sigterm_while_running_stops_the_loop) {
    auto signals = loop().stop_on_signals();
    EXPECT_FALSE(signals->signal_is_received());
    auto work = loop().create_work();
    auto guard = watchdog();
    bool after_signal = false;
    loop().post([] { ::kill(::getpid(), SIGTERM); }, ZENTU_SOURCE_LOCATION());
    loop().run();
    EXPECT_FALSE(m_watchdog_fired);
    EXPECT_TRUE(signals->signal_is_received());
    EXPECT_TRUE(loop().is_stopped());
    // Later runs return at once.
    loop().post([&] { after_signal = true; }, ZENTU_SOURCE_LOCATION());
    loop().run();
    EXPECT_FALSE(after_signal);
    guard.reset();
    work.reset();
    signals.reset();
    m_loop.reset();
    EXPECT_TRUE(after_signal);
}

TEST_F(core_signals_test, sigint_before_the_first_run_makes_it_return_at_once) {
    auto signals = loop().stop_on_signals();
    // Sent right after the watcher is created: it must already be caught.
    ::kill(::getpid(), SIGINT);
    ASSERT_TRUE(wait_for_signal(*signals));
    auto work = loop().create_work();
    auto guard = watchdog();
    const auto start = std::chrono::steady_clock::now();
    loop().run();
    EXPECT_FALSE(m_watchdog_fired);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(core_signals_test, watcher_destroyed_without_a_signal_leaves_the_loop_running) {
    auto signals = loop().stop_on_signals();
    signals.reset();
    EXPECT_FALSE(loop().is_stopped());
}

TEST(core_signals_death_test, second_sigint_has_the_default_action) {
    EXPECT_EXIT(
        {
            logger log("marovane", "test");
            auto runtime = core::create(log);
            auto loop = runtime->create_events_loop("main loop");
            auto signals = loop->stop_on_signals();
            ::kill(::getpid(), SIGINT);
            while (!signals->signal_is_received())
                std::this_thread::sleep_for(1ms);
            // The watcher's thread gives the signals back once it has stopped.
            std::this_thread::sleep_for(500ms);
            ::kill(::getpid(), SIGINT);
            std::this_thread::sleep_for(5s);
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGINT), "");
}

}  // namespace
}  // namespace zentu::libs::core
