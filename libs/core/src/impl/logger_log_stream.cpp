#include "logger_log_stream.hpp"
#include "zmq_monitor_event.hpp"

#include <algorithm>

namespace zentu::libs::core {

logger::log_stream::log_stream(std::chrono::milliseconds linger, const void* owner)
    : m_linger(linger),
      m_socket(m_context, zmq::socket_type::push),
      m_monitor(m_context, zmq::socket_type::pair) {
    m_socket.set(zmq::sockopt::linger, static_cast<int>(m_linger.count()));
    detail::attach_connection_monitor(
        m_socket, m_monitor,
        "inproc://logger-monitor-" + std::to_string(reinterpret_cast<std::uintptr_t>(owner)));
    m_queue = std::make_unique<detail::log_line_queue>(
        queue_bytes, gather, [this](std::vector<std::string>& lines) { send_now(lines); });
}

logger::log_stream::~log_stream() {
    // The queue's thread sends what is left, then ends.
    m_queue.reset();
    // Nothing may leave a destructor; the sockets and the context close
    // themselves as members all the same.
    try {
        std::lock_guard<std::mutex> lock(m_mutex);
        wait_for_handshake();
        zmq_socket_monitor(m_socket.handle(), nullptr, 0);
        m_monitor.close();
        m_socket.close();
        m_context.close();
    } catch (...) {
    }
}

void logger::log_stream::wait_for_handshake() {
    if (!m_connected)
        return;
    const auto deadline = std::chrono::steady_clock::now() + m_linger;
    follow_connection(std::chrono::milliseconds(0));
    while (!m_peer_ready) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        follow_connection(left);
    }
    // The wait counts against the linger time: with nobody reading, the
    // process ends as soon as it did before.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    m_socket.set(zmq::sockopt::linger, static_cast<int>(std::max<long long>(left.count(), 0)));
}

void logger::log_stream::follow_connection(std::chrono::milliseconds wait) {
    try {
        zmq::pollitem_t item{m_monitor.handle(), 0, ZMQ_POLLIN, 0};
        if (wait.count() > 0 && zmq::poll(&item, 1, wait) == 0)
            return;
        for (;;) {
            const auto event = detail::read_monitor_event(m_monitor);
            if (event == detail::monitor_event::none)
                return;
            if (event == detail::monitor_event::connected)
                m_peer_ready = true;
            else if (event == detail::monitor_event::disconnected)
                m_peer_ready = false;
        }
    } catch (const zmq::error_t&) {
        // Without the monitor the socket behaves as ZeroMQ alone makes it.
        m_peer_ready = true;
    }
}

void logger::log_stream::connect(const std::string& address) {
    m_queue->flush();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_socket.connect(address);
    m_connected = true;
}

void logger::log_stream::send(std::string&& text) {
    (void)m_queue->push(std::move(text));
}

void logger::log_stream::flush() {
    m_queue->flush();
}

logger::stream_losses logger::log_stream::losses() const {
    return {m_queue->statistics().dropped, m_refused.load(std::memory_order_relaxed)};
}

void logger::log_stream::send_now(std::vector<std::string>& lines) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::uint64_t refused = 0;
    for (const std::string& text : lines) {
        // Keeps the monitor's queue short over a long life of reconnections.
        // Reconnections are rare and reading the monitor costs a call into
        // ZeroMQ: once every so many lines is enough.
        if (++m_sends_since_follow >= follow_every) {
            m_sends_since_follow = 0;
            follow_connection(std::chrono::milliseconds(0));
        }
        try {
            // Would-block (no peer, full queue) drops the copy; syslog already has the line.
            if (!m_socket.send(zmq::buffer(text), zmq::send_flags::dontwait))
                ++refused;
        } catch (const zmq::error_t&) {
            ++refused;
        }
    }
    if (refused > 0)
        m_refused.fetch_add(refused, std::memory_order_relaxed);
}

}  // namespace zentu::libs::core
