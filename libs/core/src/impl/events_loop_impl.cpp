#include "events_loop_impl.hpp"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/system/system_error.hpp>

#include "core/exception.hpp"
#include "core/http.hpp"
#include "core/message_stream.hpp"
#include "factories.hpp"
#include "signals_handle_impl.hpp"
#include "timers_manager_impl.hpp"

namespace zentu::libs::core {
namespace {

constexpr std::chrono::seconds destruction_grace{10};

class work_impl : public events_loop::work {
public:
    explicit work_impl(boost::asio::io_context& io) : m_guard(io.get_executor()) {}

private:
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_guard;
};

}  // namespace

std::unique_ptr<http::client> events_loop::create_http_client(
    const std::string& address, std::chrono::seconds timeout,
    const std::vector<http::method>& disabled_methods, int max_transfers) {
    http::client_settings settings;
    settings.address = address;
    settings.timeout = timeout;
    settings.disabled_methods = disabled_methods;
    settings.max_transfers = max_transfers;
    return create_http_client(settings);
}

std::unique_ptr<http::client> events_loop::create_http_client(const std::string& address,
                                                              std::chrono::seconds timeout) {
    return create_http_client(address, timeout, {}, 10);
}

events_loop_impl::events_loop_impl(core& core, const component_logger& logger)
    : m_core(core),
      m_logger(logger),
      m_timers(std::make_unique<timers_manager_impl>(*this, m_logger)) {}

events_loop_impl::~events_loop_impl() {
    const auto deadline = std::chrono::steady_clock::now() + destruction_grace;
    m_io_context.restart();
    // A handler that throws here is logged; the others still get their turn.
    for (;;) {
        try {
            while (m_io_context.run_one_until(deadline) > 0) {
            }
            break;
        } catch (...) {
            m_logger.log_exception(ZENTU_SOURCE_LOCATION());
        }
    }
    m_timers.reset();
}

void events_loop_impl::run() {
    m_io_context.run();
}

void events_loop_impl::run_catch_exceptions(source_location location) {
    for (;;) {
        try {
            run();
            return;
        } catch (...) {
            m_logger.log_exception(location);
        }
    }
}

void events_loop_impl::stop() {
    m_io_context.stop();
}

bool events_loop_impl::is_stopped() const {
    return m_io_context.stopped();
}

events_loop::signals_handle::ptr events_loop_impl::stop_on_signals() {
    try {
        return std::make_unique<signals_handle_impl>(m_core, *this);
    } catch (const boost::system::system_error& e) {
        // Asio's error stays inside the library; the text ("add: ...") is kept.
        ZENTU_THROW(e.what());
    }
}

timers_manager& events_loop_impl::get_timers() {
    return *m_timers;
}

timer::ptr events_loop_impl::create_timer(timer::time_point tp, const std::string& name,
                                          timer::callback callback, source_location location) {
    return m_timers->create_timer(tp, name, std::move(callback), location);
}

periodic_timer::ptr events_loop_impl::create_periodic_timer(std::chrono::nanoseconds period,
                                                            const std::string& name,
                                                            periodic_timer::callback callback,
                                                            source_location location) {
    return m_timers->create_periodic_timer(period, name, std::move(callback), location);
}

periodic_timer::ptr events_loop_impl::create_periodic_timer(std::chrono::nanoseconds period,
                                                            periodic_timer::execute_now tag,
                                                            const std::string& name,
                                                            periodic_timer::callback callback,
                                                            source_location location) {
    return m_timers->create_periodic_timer(period, tag, name, std::move(callback), location);
}

std::unique_ptr<message_stream> events_loop_impl::create_zmq_message_stream(
    const std::string& address) {
    return detail::make_zmq_message_stream(m_io_context, m_logger, address, false);
}

std::unique_ptr<message_stream> events_loop_impl::create_zmq_raw_message_stream(
    const std::string& address) {
    return detail::make_zmq_message_stream(m_io_context, m_logger, address, true);
}

std::unique_ptr<http::client> events_loop_impl::create_http_client(
    const http::client_settings& settings) {
    return detail::make_http_client(*this, m_core, m_logger, settings);
}

void events_loop_impl::post(std::function<void()> function, source_location) {
    boost::asio::post(m_io_context, std::move(function));
}

events_loop::work::ptr events_loop_impl::create_work() {
    return std::make_unique<work_impl>(m_io_context);
}

}  // namespace zentu::libs::core
