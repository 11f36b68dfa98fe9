#include "periodic_timer_impl.hpp"

#include "core/exception.hpp"

namespace zentu::libs::core {

periodic_timer_impl::periodic_timer_impl(timers_manager& manager, std::chrono::nanoseconds period,
                                         std::string name, callback cb, bool execute_now)
    : m_name(std::move(name)),
      m_timers_manager(manager),
      m_period(period),
      m_callback(std::make_shared<callback>(std::move(cb))) {
    // A zero period would divide by zero and fire without end.
    ZENTU_CHECK(period.count() > 0);
    restart_impl();
    if (execute_now)
        m_timer->reset(m_timers_manager.current_time_point());
}

void periodic_timer_impl::reset(std::chrono::nanoseconds period) {
    ZENTU_CHECK(period.count() > 0);
    m_period = period;
    restart();
}

void periodic_timer_impl::stop() {
    m_timer.reset();
}

void periodic_timer_impl::restart() {
    restart_impl();
}

void periodic_timer_impl::expire_now() {
    // A stopped timer starts again, its schedule counted from now.
    if (!m_timer)
        restart_impl();
    m_timer->reset(m_timers_manager.current_time_point());
}

void periodic_timer_impl::restart_impl() {
    std::weak_ptr<callback> weak = m_callback;
    // The one-shot timer is owned by this object, so its callback never outlives it.
    m_timer = m_timers_manager.create_timer(
        m_timers_manager.current_time_point() + m_period, m_name,
        [this, weak](timer::time_point due) {
            if (weak.expired())
                return;
            on_expiry(due);
        },
        ZENTU_SOURCE_LOCATION());
}

void periodic_timer_impl::on_expiry(timer::time_point due) {
    const std::shared_ptr<callback> cb = m_callback;
    const timer::time_point now = m_timers_manager.current_time_point();
    timer::time_point next = due;
    if (now >= due)
        next = due + m_period * ((now - due) / m_period + 1);
    m_timer->reset(next);
    // cb stays alive even if the callback destroys this timer.
    if (*cb)
        (*cb)(due);
}

}  // namespace zentu::libs::core
