#pragma once

#include <boost/asio/io_context.hpp>
#include <memory>

#include "core/events_loop.hpp"
#include "core/logger.hpp"
#include "core/timer.hpp"

namespace zentu::libs::core {

// An events loop over one io_context. run() from one thread; stop() and
// post() from any. Objects created on the loop must be destroyed before it.
class events_loop_impl : public events_loop {
public:
    events_loop_impl(core& core, const component_logger& logger);
    // Runs what is ready (or becomes ready) for at most 10 s, then abandons the rest.
    ~events_loop_impl() override;
    events_loop_impl(const events_loop_impl&) = delete;
    events_loop_impl& operator=(const events_loop_impl&) = delete;

    void run() override;
    void run_catch_exceptions(source_location location) override;
    void stop() override;
    bool is_stopped() const override;
    signals_handle::ptr stop_on_signals() override;
    timers_manager& get_timers() override;

    timer::ptr create_timer(timer::time_point tp, const std::string& name, timer::callback callback,
                            source_location location) override;
    periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period,
                                              const std::string& name,
                                              periodic_timer::callback callback,
                                              source_location location) override;
    periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period,
                                              periodic_timer::execute_now tag,
                                              const std::string& name,
                                              periodic_timer::callback callback,
                                              source_location location) override;

    std::unique_ptr<message_stream> create_zmq_message_stream(const std::string& address) override;
    std::unique_ptr<message_stream> create_zmq_raw_message_stream(
        const std::string& address) override;

    using events_loop::create_http_client;
    std::unique_ptr<http::client> create_http_client(
        const http::client_settings& settings) override;

    void post(std::function<void()> function, source_location location) override;
    work::ptr create_work() override;

    boost::asio::io_context& get_io_context() override { return m_io_context; }
    const boost::asio::io_context& get_io_context() const override { return m_io_context; }
    const component_logger& get_logger() const override { return m_logger; }

private:
    core& m_core;
    boost::asio::io_context m_io_context;
    const component_logger& m_logger;
    std::unique_ptr<timers_manager> m_timers;
};

}  // namespace zentu::libs::core
