#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <zmq.hpp>

#include "core/logger.hpp"

namespace zentu::libs::core {

// The logger's copy of every line on a ZeroMQ PUSH socket. Thread safe: one
// mutex serialises connect, sends and the close.
//
// ZeroMQ drops the frames queued on a connection whose handshake has not
// finished when the socket closes, whatever its linger. So a monitor follows
// the connection, and the destructor waits for the handshake (at most the
// linger time in all) before closing: the last lines, such as the reason a
// start-up failed, reach a reader that is there.
class logger::log_stream {
public:
    // Throws zmq::error_t when ZeroMQ cannot make the socket or its monitor.
    // `owner` only names the monitor's in-process endpoint.
    log_stream(std::chrono::milliseconds linger, const void* owner);
    ~log_stream();
    log_stream(const log_stream&) = delete;
    log_stream& operator=(const log_stream&) = delete;

    // Throws zmq::error_t for an endpoint ZeroMQ refuses.
    void connect(const std::string& address);
    // Never blocks: a line that cannot be queued now is dropped.
    void send(const std::string& text);

private:
    // Reads the monitor's pending events (m_mutex held); waits up to `wait`
    // for the next one when there is none.
    void follow_connection(std::chrono::milliseconds wait);
    void wait_for_handshake();

    const std::chrono::milliseconds m_linger;
    zmq::context_t m_context;
    std::mutex m_mutex;
    zmq::socket_t m_socket;
    // Receives the socket's handshake and disconnect events.
    zmq::socket_t m_monitor;
    bool m_peer_ready = false;
    bool m_connected = false;
    static constexpr unsigned follow_every = 256;
    // Lines sent since the monitor's events were last read.
    unsigned m_sends_since_follow = 0;
};

}  // namespace zentu::libs::core
