#pragma once

#include <chrono>
#include <functional>

#include "core/timestamp.hpp"

namespace zentu::libs::core {

// The time as the service reads it: a steady clock for periods and time-outs,
// the wall clock for time stamps, and a wait that a stop cuts short. Every
// time reading of the service goes through one, so that periods and retries
// can be tested against a clock that only moves when told.
//
// Threading: the readings may be used from any thread; wait_for blocks the
// caller's thread.
class clock {
public:
    using time_point = std::chrono::time_point<std::chrono::steady_clock, std::chrono::nanoseconds>;

    virtual ~clock() = default;

    virtual time_point current_time_point() const = 0;
    virtual timestamp current_timestamp() const = 0;
    // Waits for the period, looking at stopped() at least every 50 ms and
    // ending early when it holds; true when the whole period passed.
    virtual bool wait_for(std::chrono::nanoseconds period, const std::function<bool()>& stopped);
};

// The real clocks.
clock& real_clock();

// Calls attempt() until it succeeds, waiting the period after each failure;
// gives up, returning false, when stopped() holds after a failed attempt or
// during a wait. True as soon as an attempt succeeded.
bool retry_until(clock& clock, std::chrono::nanoseconds period,
                 const std::function<bool()>& stopped, const std::function<bool()>& attempt);

}  // namespace zentu::libs::core
