#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "core/timer.hpp"

namespace zentu::libs::core {

// Periodic timer carried by a one-shot timer that is re-armed before each
// callback. Missed periods are skipped and the phase is kept. Used only from
// the loop's thread.
class periodic_timer_impl : public periodic_timer {
public:
    periodic_timer_impl(timers_manager& manager, std::chrono::nanoseconds period, std::string name,
                        callback cb, bool execute_now);
    periodic_timer_impl(const periodic_timer_impl&) = delete;
    periodic_timer_impl& operator=(const periodic_timer_impl&) = delete;

    void reset(std::chrono::nanoseconds period) override;
    void stop() override;
    void restart() override;
    void expire_now() override;

private:
    void restart_impl();
    void on_expiry(timer::time_point due);

    std::string m_name;
    timers_manager& m_timers_manager;
    timer::ptr m_timer;
    std::chrono::nanoseconds m_period;
    std::shared_ptr<callback> m_callback;
};

}  // namespace zentu::libs::core
