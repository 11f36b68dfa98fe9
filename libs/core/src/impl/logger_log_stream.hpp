#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include <zmq.hpp>

#include "core/logger.hpp"
#include "log_line_queue.hpp"

namespace zentu::libs::core {

// The logger's copy of every line on a ZeroMQ PUSH socket. Thread safe.
//
// Lines are sent by a thread of their own (detail::log_line_queue), so that
// whoever writes a line only hands it over: the sends into ZeroMQ, and the
// wake-ups of its I/O thread, cost the events loop nothing. The queue is
// bounded (queue_bytes): a line that finds it full is dropped and counted,
// like a line that the socket refuses because it would block. One mutex
// serialises connect, the sends of that thread and the close.
//
// ZeroMQ drops the frames queued on a connection whose handshake has not
// finished when the socket closes, whatever its linger. So a monitor follows
// the connection, and the destructor waits for the handshake (at most the
// linger time in all) before closing: the last lines, such as the reason a
// start-up failed, reach a reader that is there.
class logger::log_stream {
public:
    // Lines waiting for the log stream's thread, in bytes: at the busiest
    // a few milliseconds of lines wait there; a stalled thread fills it in
    // seconds, and its memory stays bounded.
    static constexpr std::size_t queue_bytes = 4 * 1024 * 1024;
    // How long the thread gathers lines after a batch.
    static constexpr std::chrono::microseconds gather{1000};

    // Throws zmq::error_t when ZeroMQ cannot make the socket or its monitor,
    // std::system_error when the thread cannot start. `owner` only names the
    // monitor's in-process endpoint.
    log_stream(std::chrono::milliseconds linger, const void* owner);
    // Sends what is queued, then waits for the handshake as said above.
    ~log_stream();
    log_stream(const log_stream&) = delete;
    log_stream& operator=(const log_stream&) = delete;

    // Throws zmq::error_t for an endpoint ZeroMQ refuses. The lines queued
    // before are offered to the socket before it connects, as if they had
    // been sent at once: no line written before the connection reaches it.
    void connect(const std::string& address);
    // Never blocks: a line that cannot be queued now is dropped.
    void send(std::string&& text);
    // Returns once the lines sent before have been offered to the socket.
    void flush();
    logger::stream_losses losses() const;

private:
    // On the queue's thread.
    void send_now(std::vector<std::string>& lines);
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
    std::atomic<std::uint64_t> m_refused{0};
    // Last, so that it is made after the socket and ends before it.
    std::unique_ptr<detail::log_line_queue> m_queue;
};

}  // namespace zentu::libs::core
