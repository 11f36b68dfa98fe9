#pragma once

#include <boost/asio/io_context.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/logger.hpp"
#include "core/source_location.hpp"
#include "core/timer.hpp"

namespace zentu::libs::core {

class message_stream;
namespace http {
class client;
enum class method;
struct client_settings;
}  // namespace http

// The single Boost.Asio io_context that runs every handler of the service.
// run() is called from one thread; stop() and post() may be called from any.
class events_loop {
public:
    using ptr = std::unique_ptr<events_loop>;

    // Keeps run() from returning while it exists.
    class work {
    public:
        using ptr = std::unique_ptr<work>;
        virtual ~work() = default;
    };

    // Watches SIGINT and SIGTERM on a thread of its own and stops the loop.
    class signals_handle {
    public:
        using ptr = std::unique_ptr<signals_handle>;
        virtual ~signals_handle() = default;
        virtual bool signal_is_received() const = 0;
    };

    virtual ~events_loop() = default;

    virtual void run() = 0;
    virtual void run_catch_exceptions(source_location location) = 0;
    virtual void stop() = 0;
    virtual bool is_stopped() const = 0;
    // Throws exception when the signals cannot be watched.
    virtual signals_handle::ptr stop_on_signals() = 0;
    virtual timers_manager& get_timers() = 0;

    virtual timer::ptr create_timer(timer::time_point tp, const std::string& name,
                                    timer::callback callback, source_location location) = 0;
    virtual periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period,
                                                      const std::string& name,
                                                      periodic_timer::callback callback,
                                                      source_location location) = 0;
    virtual periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period,
                                                      periodic_timer::execute_now tag,
                                                      const std::string& name,
                                                      periodic_timer::callback callback,
                                                      source_location location) = 0;

    // A stream connected to a ZeroMQ endpoint; throws exception "connect to
    // <address>: " and ZeroMQ's reason when the endpoint is refused.
    virtual std::unique_ptr<message_stream> create_zmq_message_stream(
        const std::string& address) = 0;
    virtual std::unique_ptr<message_stream> create_zmq_raw_message_stream(
        const std::string& address) = 0;

    // A client whose results are delivered on this loop (see http::client).
    virtual std::unique_ptr<http::client> create_http_client(
        const http::client_settings& settings) = 0;
    // The same, with the system's trust store; at most max_transfers requests at once.
    std::unique_ptr<http::client> create_http_client(
        const std::string& address, std::chrono::seconds timeout,
        const std::vector<http::method>& disabled_methods, int max_transfers);
    std::unique_ptr<http::client> create_http_client(const std::string& address,
                                                     std::chrono::seconds timeout);

    virtual void post(std::function<void()> function, source_location location) = 0;
    virtual work::ptr create_work() = 0;

    virtual boost::asio::io_context& get_io_context() = 0;
    virtual const boost::asio::io_context& get_io_context() const = 0;
    virtual const component_logger& get_logger() const = 0;
};

// Creates events loops; one per process.
class core {
public:
    using ptr = std::unique_ptr<core>;
    static ptr create(const logger& logger);
    virtual ~core() = default;
    virtual events_loop::ptr create_events_loop(const std::string& name) = 0;
};

}  // namespace zentu::libs::core
