#pragma once

#include "core/events_loop.hpp"
#include "core/logger.hpp"
#include "core/timer.hpp"

namespace zentu::libs::core {

// Creates the timers of one events loop. Used only from the loop's thread.
class timers_manager_impl : public timers_manager {
public:
    timers_manager_impl(events_loop& loop, const component_logger& logger);

    timer::time_point current_time_point() const override;
    timestamp current_timestamp() const override;

    timer::ptr create_timer(std::chrono::nanoseconds delay, const std::string& name,
                            timer::callback callback, source_location location) override;
    timer::ptr create_timer(timer::time_point tp, const std::string& name, timer::callback callback,
                            source_location location) override;
    periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period,
                                              const std::string& name,
                                              periodic_timer::callback callback,
                                              source_location location) override;
    periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period,
                                              periodic_timer::execute_now, const std::string& name,
                                              periodic_timer::callback callback,
                                              source_location location) override;

private:
    events_loop& m_events_loop;
    const component_logger& m_logger;
};

}  // namespace zentu::libs::core
