#include "timers_manager_impl.hpp"

#include "periodic_timer_impl.hpp"
#include "timer_impl.hpp"

namespace zentu::libs::core {

timers_manager_impl::timers_manager_impl(events_loop& loop, const component_logger& logger)
    : m_events_loop(loop), m_logger(logger) {}

timer::time_point timers_manager_impl::current_time_point() const {
    return std::chrono::time_point_cast<std::chrono::nanoseconds>(timer::clock::now());
}

timestamp timers_manager_impl::current_timestamp() const {
    return timestamp::current_time();
}

timer::ptr timers_manager_impl::create_timer(std::chrono::nanoseconds delay,
                                             const std::string& name, timer::callback callback,
                                             source_location location) {
    return create_timer(current_time_point() + delay, name, std::move(callback), location);
}

timer::ptr timers_manager_impl::create_timer(timer::time_point tp, const std::string&,
                                             timer::callback callback, source_location) {
    return std::make_unique<timer_impl>(m_events_loop.get_io_context(), m_logger, tp,
                                        std::move(callback));
}

periodic_timer::ptr timers_manager_impl::create_periodic_timer(std::chrono::nanoseconds period,
                                                               const std::string& name,
                                                               periodic_timer::callback callback,
                                                               source_location) {
    return std::make_unique<periodic_timer_impl>(*this, period, name, std::move(callback), false);
}

periodic_timer::ptr timers_manager_impl::create_periodic_timer(std::chrono::nanoseconds period,
                                                               periodic_timer::execute_now,
                                                               const std::string& name,
                                                               periodic_timer::callback callback,
                                                               source_location) {
    return std::make_unique<periodic_timer_impl>(*this, period, name, std::move(callback), true);
}

}  // namespace zentu::libs::core
