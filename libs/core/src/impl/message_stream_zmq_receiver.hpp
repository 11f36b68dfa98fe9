#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/system/error_code.hpp>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include <zmq.hpp>

#include "core/logger.hpp"
#include "core/message_stream.hpp"
#include "message_stream_callbacks.hpp"
#include "message_stream_health_tracker.hpp"
#include "message_stream_zmq_monitor.hpp"
#include "message_stream_zmq_options.hpp"

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
//
// The connection is followed through a socket monitor and ZeroMQ heartbeats
// (zmq_stream_options): a publisher that closes or stops answering counts as
// a disconnection, and ZeroMQ connects again by itself. A receive error makes
// the socket anew (the same subscriptions, connected to the same address)
// instead of ending the stream. The frames queued at that moment are lost,
// like those published while disconnected: the reconnected callback is where
// the owner repairs what a gap may have lost.
class zmq_frame_receiver : public std::enable_shared_from_this<zmq_frame_receiver> {
public:
    // Frames handled per wake-up before the rest is re-posted, so timers and
    // other completions get their turn under a flood.
    static constexpr std::size_t max_frames_per_turn = 256;

    // Connects; a failure is thrown as boost::system::system_error with the
    // zmq error. Receiving starts with start().
    zmq_frame_receiver(boost::asio::io_context& io, const component_logger& logger,
                       const std::string& address,
                       std::weak_ptr<message_stream_callbacks> callbacks,
                       const zmq_stream_options& options = {});
    ~zmq_frame_receiver();
    zmq_frame_receiver(const zmq_frame_receiver&) = delete;
    zmq_frame_receiver& operator=(const zmq_frame_receiver&) = delete;

    void start();
    // Sets ZMQ_SUBSCRIBE; the socket state may change with it, so a drain
    // follows. Every topic is set again on a socket made anew.
    void subscribe(std::string_view topic);

    const message_stream::health& health() const { return m_health.health(); }
    bool wait_connected(std::chrono::milliseconds timeout) {
        return m_link && m_link->monitor->wait_connected(timeout);
    }
    void on_reconnected(message_stream::reconnected_callback callback) {
        m_reconnected = std::move(callback);
    }

    // What a receive error leads to: the error is logged, the connection
    // counts as lost, and the socket is made anew after the remake delay.
    // Public so that tests can stand in for errors a real socket hardly gives.
    void remake_after(const boost::system::error_code& ec);

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

    // One SUB socket and what watches it; replaced whole by a remake. Members
    // go in reverse: the descriptor and the monitor before their socket.
    struct link {
        explicit link(zmq::context_t& context) : socket(context, zmq::socket_type::sub) {}
        zmq::socket_t socket;
        std::shared_ptr<zmq_connection_monitor> monitor;
        std::unique_ptr<borrowed_descriptor> descriptor;
    };

    // Makes, subscribes and connects a socket; throws zmq::error_t.
    std::unique_ptr<link> make_link();
    void on_link_changed(bool connected);
    void schedule_remake();
    static void on_remake_time(const std::weak_ptr<zmq_frame_receiver>& weak,
                               const boost::system::error_code& ec);
    void remake();

    // Completions: each holds only a weak reference to the receiver.
    static void on_posted(const std::weak_ptr<zmq_frame_receiver>& weak);
    static void on_readable(const std::weak_ptr<zmq_frame_receiver>& weak, std::uint64_t generation,
                            const boost::system::error_code& ec);
    static void drain(const std::weak_ptr<zmq_frame_receiver>& weak);
    bool try_receive(zmq::message_t& frame);
    void schedule_drain();
    void wait();

    boost::asio::io_context& m_io;
    const component_logger& m_logger;
    const std::string m_address;
    const zmq_stream_options m_options;
    std::weak_ptr<message_stream_callbacks> m_callbacks;
    std::vector<std::string> m_topics;
    message_stream_health_tracker m_health;
    message_stream::reconnected_callback m_reconnected;
    std::shared_ptr<zmq::context_t> m_context;
    // None between a receive error and the remake.
    std::unique_ptr<link> m_link;
    // Counts links made, so that a wait on a replaced one is told apart.
    std::uint64_t m_generation = 0;
    boost::asio::steady_timer m_remake_timer;
    bool m_wait_pending = false;
    bool m_drain_posted = false;
};

}  // namespace zentu::libs::core
