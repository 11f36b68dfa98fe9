#include "timer_impl.hpp"

#include <boost/asio/error.hpp>

namespace zentu::libs::core {

timer_impl::timer_impl(boost::asio::io_context& io, const component_logger& logger, time_point tp,
                       callback cb)
    : m_timer(io), m_logger(logger), m_data(std::make_shared<shared_data>()) {
    m_data->m_callback = std::move(cb);
    reset(tp);
}

timer_impl::~timer_impl() {
    m_data.reset();
    boost::system::error_code ignored;
    m_timer.cancel(ignored);
}

bool timer_impl::is_waiting() const {
    return m_data->m_waiting;
}

void timer_impl::disarm() {
    m_data->m_waiting = false;
    ++m_data->m_generation;
    m_time_point = time_point{};
    boost::system::error_code ignored;
    m_timer.cancel(ignored);
}

void timer_impl::reset(time_point tp) {
    disarm();
    m_timer.expires_at(tp);
    m_time_point = tp;
    const std::uint64_t generation = m_data->m_generation;
    std::weak_ptr<shared_data> weak = m_data;
    const component_logger& logger = m_logger;
    m_timer.async_wait([&logger, weak, tp, generation](const boost::system::error_code& ec) {
        const std::shared_ptr<shared_data> data = weak.lock();
        const bool current = data && data->m_generation == generation;
        if (current)
            data->m_waiting = false;
        if (ec == boost::asio::error::operation_aborted)
            return;
        if (ec) {
            logger.log_error(ec, ZENTU_SOURCE_LOCATION());
            return;
        }
        // data keeps the callback alive while it runs: it may destroy or re-arm its timer.
        if (current && data->m_callback)
            data->m_callback(tp);
    });
    m_data->m_waiting = true;
}

void timer_impl::stop() {
    disarm();
}

}  // namespace zentu::libs::core
