#include <gtest/gtest.h>

#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/core_loop_fixture.hpp"

namespace zentu::libs::core {
namespace {

using namespace std::chrono_literals;

class core_events_loop_test : public testing::loop_fixture {};

TEST_F(core_events_loop_test, stop_before_run_makes_every_run_return_at_once) {
    bool ran = false;
    auto work = loop().create_work();
    loop().post([&] { ran = true; }, ZENTU_SOURCE_LOCATION());
    EXPECT_FALSE(loop().is_stopped());
    loop().stop();
    EXPECT_TRUE(loop().is_stopped());
    loop().run();
    loop().run();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(loop().is_stopped());
    // The handler refers to this frame; destruction runs it.
    work.reset();
    m_loop.reset();
    EXPECT_TRUE(ran);
}

TEST_F(core_events_loop_test, posted_functions_run_in_order_on_the_running_thread) {
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    loop().post(
        [&] {
            order.push_back(1);
            threads.push_back(std::this_thread::get_id());
            loop().post([&] { order.push_back(4); }, ZENTU_SOURCE_LOCATION());
        },
        ZENTU_SOURCE_LOCATION());
    loop().post([&] { order.push_back(2); }, ZENTU_SOURCE_LOCATION());
    loop().post([&] { order.push_back(3); }, ZENTU_SOURCE_LOCATION());
    loop().run();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_EQ(threads[0], std::this_thread::get_id());
}

TEST_F(core_events_loop_test, work_token_keeps_run_going_until_released) {
    auto work = loop().create_work();
    bool posted_from_thread = false;
    std::thread other([&] {
        std::this_thread::sleep_for(20ms);
        loop().post(
            [&] {
                posted_from_thread = true;
                work.reset();
            },
            ZENTU_SOURCE_LOCATION());
    });
    loop().run();
    other.join();
    EXPECT_TRUE(posted_from_thread);
}

TEST_F(core_events_loop_test, stop_from_another_thread_ends_run) {
    auto work = loop().create_work();
    std::thread other([&] {
        std::this_thread::sleep_for(20ms);
        loop().stop();
    });
    loop().run();
    other.join();
    EXPECT_TRUE(loop().is_stopped());
}

TEST_F(core_events_loop_test, exception_escapes_run_and_run_goes_on_afterwards) {
    bool second = false;
    loop().post([] { throw std::runtime_error("boom"); }, ZENTU_SOURCE_LOCATION());
    loop().post([&] { second = true; }, ZENTU_SOURCE_LOCATION());
    EXPECT_THROW(loop().run(), std::runtime_error);
    EXPECT_FALSE(second);
    loop().run();
    EXPECT_TRUE(second);
}

TEST_F(core_events_loop_test, run_catch_exceptions_logs_and_reenters) {
    int handled = 0;
    loop().post([] { ZENTU_THROW("first"); }, ZENTU_SOURCE_LOCATION());
    loop().post([&] { ++handled; }, ZENTU_SOURCE_LOCATION());
    loop().post([] { throw 42; }, ZENTU_SOURCE_LOCATION());
    loop().post([&] { ++handled; }, ZENTU_SOURCE_LOCATION());
    loop().run_catch_exceptions(ZENTU_SOURCE_LOCATION());
    EXPECT_EQ(handled, 2);
}

TEST_F(core_events_loop_test, destruction_runs_handlers_left_by_a_stopped_loop) {
    bool ran = false;
    loop().post([] { throw std::runtime_error("during destruction"); }, ZENTU_SOURCE_LOCATION());
    loop().post([&] { ran = true; }, ZENTU_SOURCE_LOCATION());
    loop().stop();
    loop().run();
    EXPECT_FALSE(ran);
    // The throwing handler is logged and does not keep the next one from running.
    m_loop.reset();
    EXPECT_TRUE(ran);
}

// A timer owned by its own pending handler, the way Asio code leaves work on a
// loop that is being destroyed.
void start_self_owned_timer(events_loop& loop, std::chrono::milliseconds delay, bool& fired) {
    auto t = std::make_shared<boost::asio::steady_timer>(loop.get_io_context(), delay);
    t->async_wait([t, &fired](const boost::system::error_code& ec) {
        if (!ec)
            fired = true;
    });
}

// The one long test: a loop waits up to 10 s for its remaining work when destroyed.
TEST_F(core_events_loop_test, destruction_waits_at_most_ten_seconds_for_pending_work) {
    bool near_fired = false;
    bool far_fired = false;
    start_self_owned_timer(loop(), 500ms, near_fired);
    start_self_owned_timer(loop(), 60s, far_fired);
    const auto start = std::chrono::steady_clock::now();
    m_loop.reset();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(near_fired);
    EXPECT_FALSE(far_fired);
    EXPECT_GE(took, 9500ms);
    EXPECT_LT(took, 30s);

    // Nothing pending: destruction does not wait.
    m_loop = m_core->create_events_loop("second");
    bool fired = false;
    start_self_owned_timer(*m_loop, 100ms, fired);
    const auto start2 = std::chrono::steady_clock::now();
    m_loop.reset();
    EXPECT_TRUE(fired);
    EXPECT_LT(std::chrono::steady_clock::now() - start2, 5s);
}

}  // namespace
}  // namespace zentu::libs::core
