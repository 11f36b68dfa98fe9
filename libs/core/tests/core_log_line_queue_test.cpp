#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "../src/impl/log_line_queue.hpp"

namespace zentu::libs::core::detail {
namespace {

// A sink that holds up its thread on the first line until released, as a
// log stream whose socket does not take lines would.
class blocked_sink {
public:
    void operator()(std::vector<std::string>& lines) {
        if (!m_entered_once) {
            m_entered_once = true;
            m_entered.set_value();
            m_released_future.wait();
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.insert(m_lines.end(), lines.begin(), lines.end());
    }
    void wait_until_entered() { m_entered_future.wait(); }
    void release() { m_released.set_value(); }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

private:
    bool m_entered_once = false;
    std::promise<void> m_entered;
    std::future<void> m_entered_future = m_entered.get_future();
    std::promise<void> m_released;
    std::shared_future<void> m_released_future = m_released.get_future().share();
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

TEST(core_log_line_queue_test, a_full_queue_drops_and_counts_and_keeps_the_order_of_the_rest) {
    blocked_sink sink;
    // Room for three lines of four bytes while the thread is held up.
    log_line_queue queue(12, std::chrono::microseconds(0),
                         [&sink](std::vector<std::string>& lines) { sink(lines); });
    EXPECT_TRUE(queue.push("l-00"));
    sink.wait_until_entered();
    std::vector<bool> accepted;
    for (int i = 1; i <= 5; ++i)
        accepted.push_back(queue.push("l-0" + std::to_string(i)));
    EXPECT_EQ(accepted, (std::vector<bool>{true, true, true, false, false}));
    EXPECT_EQ(queue.statistics().accepted, 4U);
    EXPECT_EQ(queue.statistics().dropped, 2U);

    sink.release();
    queue.flush();
    EXPECT_EQ(sink.lines(), (std::vector<std::string>{"l-00", "l-01", "l-02", "l-03"}));
    // Room again once the thread has taken the lines.
    EXPECT_TRUE(queue.push("l-06"));
    queue.flush();
    EXPECT_EQ(sink.lines().back(), "l-06");
}

TEST(core_log_line_queue_test, every_accepted_line_reaches_the_sink_before_the_end) {
    std::vector<std::string> received;
    {
        // A long gather: the end must not wait for it.
        log_line_queue queue(1 << 20, std::chrono::seconds(60),
                             [&received](std::vector<std::string>& lines) {
                                 received.insert(received.end(), lines.begin(), lines.end());
                             });
        for (int i = 0; i < 1000; ++i)
            queue.push(std::to_string(i));
    }
    ASSERT_EQ(received.size(), 1000U);
    for (int i = 0; i < 1000; ++i)
        EXPECT_EQ(received[static_cast<std::size_t>(i)], std::to_string(i));
}

}  // namespace
}  // namespace zentu::libs::core::detail
