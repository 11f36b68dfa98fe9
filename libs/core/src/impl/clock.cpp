#include "core/clock.hpp"

#include <algorithm>
#include <thread>

namespace zentu::libs::core {

namespace {

// How often a wait looks whether it should end.
constexpr std::chrono::milliseconds stop_poll_period(50);

class real_clock_impl final : public clock {
public:
    time_point current_time_point() const override {
        return std::chrono::time_point_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now());
    }
    timestamp current_timestamp() const override { return timestamp::current_time(); }
};

}  // namespace

bool clock::wait_for(std::chrono::nanoseconds period, const std::function<bool()>& stopped) {
    // A sleep interrupted by a signal goes on until the deadline.
    const auto deadline = current_time_point() + period;
    for (;;) {
        if (stopped && stopped())
            return false;
        const auto now = current_time_point();
        if (now >= deadline)
            return true;
        std::this_thread::sleep_for(
            std::min<std::chrono::nanoseconds>(stop_poll_period, deadline - now));
    }
}

clock& real_clock() {
    static real_clock_impl instance;
    return instance;
}

bool retry_until(clock& clock, std::chrono::nanoseconds period,
                 const std::function<bool()>& stopped, const std::function<bool()>& attempt) {
    for (;;) {
        if (attempt())
            return true;
        if (stopped() || !clock.wait_for(period, stopped))
            return false;
    }
}

}  // namespace zentu::libs::core
