#include <gtest/gtest.h>

#include <chrono>

#include "core/clock.hpp"
#include "core/repeat_limiter.hpp"

namespace zentu::libs::core {
namespace {

using namespace std::chrono_literals;

// A clock that moves only when told.
class manual_clock : public clock {
public:
    time_point current_time_point() const override { return m_now; }
    timestamp current_timestamp() const override { return {}; }
    void advance(std::chrono::nanoseconds by) { m_now += by; }

private:
    time_point m_now{};
};

TEST(core_repeat_limiter_test, first_line_then_one_a_minute_with_the_count_held_back) {
    manual_clock clock;
    repeat_limiter limiter(clock);

    EXPECT_TRUE(limiter.admit("notify").write);
    for (int i = 0; i < 5; ++i) {
        clock.advance(10s);
        EXPECT_FALSE(limiter.admit("notify").write);
    }
    // Another kind is not held back by the first.
    EXPECT_TRUE(limiter.admit("zone_event").write);

    clock.advance(10s);  // a minute after the first line
    const auto next = limiter.admit("notify");
    EXPECT_TRUE(next.write);
    EXPECT_EQ(next.held_back, 5u);
    EXPECT_EQ(next.note(), "; 5 more like it held back since the last line");
    clock.advance(59s);
    EXPECT_FALSE(limiter.admit("notify").write);

    // Its trouble over, the count not yet told comes out, and the next
    // line of the kind is written at once.
    EXPECT_EQ(limiter.forget("notify"), 1u);
    EXPECT_EQ(limiter.forget("notify"), std::nullopt);
    const auto again = limiter.admit("notify");
    EXPECT_TRUE(again.write);
    EXPECT_EQ(again.note(), "");
}

}  // namespace
}  // namespace zentu::libs::core
