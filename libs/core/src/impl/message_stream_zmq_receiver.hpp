#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/system/error_code.hpp>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <zmq.hpp>

#include "core/logger.hpp"
#include "message_stream_callbacks.hpp"
#include "message_stream_zmq_monitor.hpp"

namespace zentu::libs::core {

// ZeroMQ errors as error codes; the values are zmq_errno() values.
const boost::system::error_category& zmq_category() noexcept;

// A SUB socket watched by an io_context through its ZMQ_FD; every received
// frame goes to the callbacks table. Used from the loop's thread only; owned
// by one stream, every completion holds a weak reference and returns once the
// receiver is gone, so nothing is called back after destruction.
//
// ZMQ_FD is edge triggered and only tells that ZMQ_EVENTS may have changed:
// every wake-up reads frames until ZMQ_EVENTS shows none ready before waiting
// again; a missed drain would stall the stream for good.
class zmq_frame_receiver : public std::enable_shared_from_this<zmq_frame_receiver> {
public:
    // Frames handled per wake-up before the rest is re-posted, so timers and
    // other completions get their turn under a flood.
    static constexpr std::size_t max_frames_per_turn = 256;

    // Connects; a failure is thrown as boost::system::system_error with the
    // zmq error. Receiving starts with start().
    zmq_frame_receiver(boost::asio::io_context& io, const component_logger& logger,
                       const std::string& address,
                       std::weak_ptr<message_stream_callbacks> callbacks);
    ~zmq_frame_receiver();
    zmq_frame_receiver(const zmq_frame_receiver&) = delete;
    zmq_frame_receiver& operator=(const zmq_frame_receiver&) = delete;

    void start();
    // True from a finished handshake with the publisher until a disconnection.
    bool is_connected() const { return m_monitor->is_connected(); }
    // Sets ZMQ_SUBSCRIBE; the socket state may change with it, so a drain follows.
    void subscribe(std::string_view topic);

private:
    // Watches a descriptor that belongs to the zmq socket: released, never closed.
    class borrowed_descriptor {
    public:
        borrowed_descriptor(boost::asio::io_context& io, int fd) : m_descriptor(io, fd) {}
        ~borrowed_descriptor() { m_descriptor.release(); }
        borrowed_descriptor(const borrowed_descriptor&) = delete;
        borrowed_descriptor& operator=(const borrowed_descriptor&) = delete;
        boost::asio::posix::stream_descriptor& get() { return m_descriptor; }

    private:
        boost::asio::posix::stream_descriptor m_descriptor;
    };

    // Completions: each holds only a weak reference to the receiver.
    static void on_posted(const std::weak_ptr<zmq_frame_receiver>& weak);
    static void on_readable(const std::weak_ptr<zmq_frame_receiver>& weak,
                            const boost::system::error_code& ec);
    static void drain(const std::weak_ptr<zmq_frame_receiver>& weak);
    bool try_receive(zmq::message_t& frame);
    void schedule_drain();
    void wait();
    void fail(const boost::system::error_code& ec);

    boost::asio::io_context& m_io;
    const component_logger& m_logger;
    std::weak_ptr<message_stream_callbacks> m_callbacks;
    std::shared_ptr<zmq::context_t> m_context;
    zmq::socket_t m_socket;
    // Destroyed before the socket it watches.
    std::shared_ptr<zmq_connection_monitor> m_monitor;
    std::unique_ptr<borrowed_descriptor> m_descriptor;
    bool m_stopped = false;
    bool m_wait_pending = false;
    bool m_drain_posted = false;
};

}  // namespace zentu::libs::core
