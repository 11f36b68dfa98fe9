#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "core/clock.hpp"
#include "core/source_location.hpp"
#include "core/timestamp.hpp"

namespace zentu::libs::core {

// A one-shot timer of an events loop. Used only from the loop's thread.
// Destroying the owner cancels it for good; callbacks never run afterwards.
class timer {
public:
    using ptr = std::unique_ptr<timer>;
    using clock = std::chrono::steady_clock;
    using time_point = core::clock::time_point;
    // Receives the time point at which the expiry was due.
    using callback = std::function<void(time_point)>;

    virtual ~timer() = default;
    virtual bool is_waiting() const = 0;
    virtual void reset(time_point tp) = 0;
    virtual void stop() = 0;
};

// A periodic timer: skips missed periods and keeps its phase. Used only from
// the loop's thread.
class periodic_timer {
public:
    using ptr = std::unique_ptr<periodic_timer>;
    using callback = timer::callback;
    // Tag: the first expiry is due at once.
    struct execute_now {};

    virtual ~periodic_timer() = default;
    virtual void reset(std::chrono::nanoseconds period) = 0;
    virtual void stop() = 0;
    virtual void restart() = 0;
    virtual void expire_now() = 0;
};

// Creates the timers of one events loop and tells the time (the loop's clock).
class timers_manager : public clock {
public:
    virtual timer::ptr create_timer(std::chrono::nanoseconds delay, const std::string& name,
                                    timer::callback callback, source_location location) = 0;
    virtual timer::ptr create_timer(timer::time_point tp, const std::string& name,
                                    timer::callback callback, source_location location) = 0;
    virtual periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period,
                                                      const std::string& name,
                                                      periodic_timer::callback callback,
                                                      source_location location) = 0;
    virtual periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period,
                                                      periodic_timer::execute_now,
                                                      const std::string& name,
                                                      periodic_timer::callback callback,
                                                      source_location location) = 0;
};

}  // namespace zentu::libs::core
