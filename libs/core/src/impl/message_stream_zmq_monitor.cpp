#include "message_stream_zmq_monitor.hpp"
#include "zmq_monitor_event.hpp"

#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>
#include <string>

namespace zentu::libs::core {

zmq_connection_monitor::zmq_connection_monitor(boost::asio::io_context& io,
                                               const component_logger& logger,
                                               zmq::context_t& context, zmq::socket_t& watched,
                                               change_callback on_change)
    : m_logger(logger),
      m_on_change(std::move(on_change)),
      m_watched(watched),
      m_events(context, zmq::socket_type::pair) {
    detail::attach_connection_monitor(
        m_watched, m_events,
        "inproc://stream-monitor-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    m_descriptor =
        std::make_unique<boost::asio::posix::stream_descriptor>(io, m_events.get(zmq::sockopt::fd));
}

zmq_connection_monitor::~zmq_connection_monitor() {
    boost::system::error_code ignored;
    m_descriptor->cancel(ignored);
    m_descriptor->release();
    // Stopped while the PAIR still reads, so the last event cannot block.
    zmq_socket_monitor(m_watched.handle(), nullptr, 0);
}

void zmq_connection_monitor::start() {
    // Events may already wait, and the edge that announced them is gone.
    boost::asio::post(m_descriptor->get_executor(), [weak = weak_from_this()] {
        on_readable(weak, boost::system::error_code());
    });
}

void zmq_connection_monitor::on_readable(const std::weak_ptr<zmq_connection_monitor>& weak,
                                         const boost::system::error_code& ec) {
    const auto self = weak.lock();
    if (!self || ec == boost::asio::error::operation_aborted)
        return;
    self->m_wait_pending = false;
    if (ec) {
        self->m_stopped = true;
        self->m_logger.log_error(ec, ZENTU_SOURCE_LOCATION());
        return;
    }
    self->drain();
    self->wait();
}

void zmq_connection_monitor::drain() {
    try {
        while (m_events.get(zmq::sockopt::events) & ZMQ_POLLIN) {
            const auto event = detail::read_monitor_event(m_events);
            if (event == detail::monitor_event::none)
                return;
            if (event == detail::monitor_event::connected)
                set_connected(true);
            else if (event == detail::monitor_event::disconnected)
                set_connected(false);
        }
    } catch (const zmq::error_t& e) {
        m_stopped = true;
        m_logger.error("Connection monitor of the message stream stopped: %1%") % e.what();
    }
}

bool zmq_connection_monitor::wait_connected(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    drain();
    while (!m_connected && !m_stopped) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        zmq::pollitem_t item{m_events.handle(), 0, ZMQ_POLLIN, 0};
        try {
            zmq::poll(&item, 1, left);
        } catch (const zmq::error_t& e) {
            if (e.num() != EINTR)
                throw;
        }
        drain();
    }
    return m_connected;
}

void zmq_connection_monitor::set_connected(bool connected) {
    if (m_connected == connected)
        return;
    m_connected = connected;
    if (m_on_change)
        m_on_change(connected);
}

void zmq_connection_monitor::wait() {
    if (m_stopped || m_wait_pending)
        return;
    m_wait_pending = true;
    m_descriptor->async_wait(
        boost::asio::posix::stream_descriptor::wait_read,
        [weak = weak_from_this()](const boost::system::error_code& ec) { on_readable(weak, ec); });
}

}  // namespace zentu::libs::core
