#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <zmq.hpp>

#include "core/logger.hpp"

namespace zentu::libs::core {

// Follows the connection of a socket through a ZeroMQ socket monitor: the
// socket counts as connected from a finished handshake until a disconnection
// (the peer closed, or stopped answering heartbeats).
// The monitor's PAIR socket is watched through its ZMQ_FD, which like every
// ZMQ_FD is edge triggered: each wake-up reads events until ZMQ_EVENTS shows
// none before waiting again. The PAIR takes any number of events, so
// ZeroMQ's I/O thread, which writes them, can never block on it.
//
// Used from the loop's thread only. Must be built before the watched socket
// connects and destroyed before it closes; completions hold weak references.
class zmq_connection_monitor : public std::enable_shared_from_this<zmq_connection_monitor> {
public:
    // Told of each change, on the loop's thread, while the events are read:
    // it must not destroy the monitor.
    using change_callback = std::function<void(bool connected)>;

    zmq_connection_monitor(boost::asio::io_context& io, const component_logger& logger,
                           zmq::context_t& context, zmq::socket_t& watched,
                           change_callback on_change = {});
    ~zmq_connection_monitor();
    zmq_connection_monitor(const zmq_connection_monitor&) = delete;
    zmq_connection_monitor& operator=(const zmq_connection_monitor&) = delete;

    void start();
    bool is_connected() const { return m_connected; }
    // Reads the events at once, waiting for them up to `timeout`, until the
    // socket is connected: for the start, before the loop runs. Returns
    // whether it is connected. The waits on the loop go on as before.
    bool wait_connected(std::chrono::milliseconds timeout);

private:
    static void on_readable(const std::weak_ptr<zmq_connection_monitor>& weak,
                            const boost::system::error_code& ec);
    void drain();
    void wait();
    void set_connected(bool connected);

    const component_logger& m_logger;
    change_callback m_on_change;
    zmq::socket_t& m_watched;
    zmq::socket_t m_events;
    // The PAIR's descriptor belongs to ZeroMQ: released, never closed.
    std::unique_ptr<boost::asio::posix::stream_descriptor> m_descriptor;
    bool m_connected = false;
    bool m_wait_pending = false;
    bool m_stopped = false;
};

}  // namespace zentu::libs::core
