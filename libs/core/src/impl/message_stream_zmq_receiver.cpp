#include "message_stream_zmq_receiver.hpp"

#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>
#include <boost/system/system_error.hpp>
#include <chrono>
#include <mutex>

namespace zentu::libs::core {
namespace {

class zmq_error_category final : public boost::system::error_category {
public:
    const char* name() const noexcept override { return "zmq"; }
    std::string message(int ev) const override { return zmq_strerror(ev); }
    boost::system::error_condition default_error_condition(int ev) const noexcept override {
        return {ev, boost::system::generic_category()};
    }
};

// One context for every stream in the process: created with the first live
// stream and terminated with the last, so no I/O threads linger in between
// and nothing is left for static destruction.
std::shared_ptr<zmq::context_t> shared_context() {
    static std::mutex mutex;
    static std::weak_ptr<zmq::context_t> current;
    const std::lock_guard<std::mutex> lock(mutex);
    auto context = current.lock();
    if (!context) {
        context = std::make_shared<zmq::context_t>(1);
        current = context;
    }
    return context;
}

}  // namespace

const boost::system::error_category& zmq_category() noexcept {
    static const zmq_error_category category;
    return category;
}

zmq_frame_receiver::zmq_frame_receiver(boost::asio::io_context& io, const component_logger& logger,
                                       const std::string& address,
                                       std::weak_ptr<message_stream_callbacks> callbacks,
                                       const zmq_stream_options& options)
    : m_io(io),
      m_logger(logger),
      m_address(address),
      m_options(options),
      m_callbacks(std::move(callbacks)),
      m_health(logger, address),
      m_context(shared_context()),
      m_remake_timer(io) {
    try {
        m_link = make_link();
    } catch (const zmq::error_t& e) {
        throw boost::system::system_error(boost::system::error_code(e.num(), zmq_category()),
                                          "connect to " + address);
    }
}

zmq_frame_receiver::~zmq_frame_receiver() {
    if (!m_link)
        return;
    boost::system::error_code ec;
    m_link->descriptor->get().cancel(ec);
    if (ec)
        m_logger.log_error(ec, ZENTU_SOURCE_LOCATION());
    // The descriptor must be let go before the socket closes its fd.
    m_link.reset();
}

std::unique_ptr<zmq_frame_receiver::link> zmq_frame_receiver::make_link() {
    auto made = std::make_unique<link>(*m_context);
    zmq::socket_t& socket = made->socket;
    socket.set(zmq::sockopt::linger, 0);
    socket.set(zmq::sockopt::rcvhwm, m_options.receive_hwm);
    socket.set(zmq::sockopt::heartbeat_ivl, static_cast<int>(m_options.heartbeat_interval.count()));
    socket.set(zmq::sockopt::heartbeat_timeout,
               static_cast<int>(m_options.heartbeat_timeout.count()));
    socket.set(zmq::sockopt::heartbeat_ttl, static_cast<int>(m_options.heartbeat_timeout.count()));
    socket.set(zmq::sockopt::tcp_keepalive, 1);
    socket.set(zmq::sockopt::tcp_keepalive_idle,
               static_cast<int>(m_options.keepalive_idle.count()));
    socket.set(zmq::sockopt::tcp_keepalive_intvl,
               static_cast<int>(m_options.keepalive_interval.count()));
    socket.set(zmq::sockopt::tcp_keepalive_cnt, m_options.keepalive_count);
    for (const auto& topic : m_topics)
        socket.set(zmq::sockopt::subscribe, topic);
    // The monitor lives inside the link, the link inside this receiver, and
    // the callback only keeps books: `this` outlives every call. (The first
    // link is made in the constructor, before a weak reference exists.)
    made->monitor = std::make_shared<zmq_connection_monitor>(
        m_io, m_logger, *m_context, socket, [this](bool connected) { on_link_changed(connected); });
    socket.connect(m_address);
    made->descriptor = std::make_unique<borrowed_descriptor>(m_io, socket.get(zmq::sockopt::fd));
    return made;
}

void zmq_frame_receiver::start() {
    m_link->monitor->start();
    schedule_drain();
}

void zmq_frame_receiver::subscribe(std::string_view topic) {
    m_topics.emplace_back(topic);
    if (!m_link)
        return;
    m_link->socket.set(zmq::sockopt::subscribe, zmq::const_buffer(topic.data(), topic.size()));
    schedule_drain();
}

void zmq_frame_receiver::on_link_changed(bool connected) {
    const auto now = std::chrono::steady_clock::now();
    if (!connected) {
        m_health.disconnected(now);
        return;
    }
    const auto down_for = m_health.connected(now);
    if (!down_for || !m_reconnected)
        return;
    // Told from a completion of its own: the callback may do anything, even
    // destroy the stream, which the monitor reading its events must survive.
    boost::asio::post(m_io, [weak = weak_from_this(), down_for = *down_for] {
        message_stream::reconnected_callback callback;
        if (const auto self = weak.lock())
            callback = self->m_reconnected;
        if (callback)
            callback(down_for);
    });
}

void zmq_frame_receiver::remake_after(const boost::system::error_code& ec) {
    if (!m_link)
        return;
    m_logger.log_error(ec, ZENTU_SOURCE_LOCATION());
    m_logger.warning("message stream to %1%: making the socket anew in %2% ms") % m_address %
        m_options.remake_delay.count();
    m_health.disconnected(std::chrono::steady_clock::now());
    boost::system::error_code ignored;
    m_link->descriptor->get().cancel(ignored);
    m_link.reset();
    m_wait_pending = false;
    schedule_remake();
}

void zmq_frame_receiver::schedule_remake() {
    m_remake_timer.expires_after(m_options.remake_delay);
    m_remake_timer.async_wait([weak = weak_from_this()](const boost::system::error_code& ec) {
        on_remake_time(weak, ec);
    });
}

void zmq_frame_receiver::on_remake_time(const std::weak_ptr<zmq_frame_receiver>& weak,
                                        const boost::system::error_code& ec) {
    if (ec == boost::asio::error::operation_aborted)
        return;
    if (const auto self = weak.lock())
        self->remake();
}

void zmq_frame_receiver::remake() {
    try {
        m_link = make_link();
        ++m_generation;
    } catch (const zmq::error_t& e) {
        // Out of descriptors or memory: try again, for as long as it takes.
        m_logger.error("message stream to %1%: cannot make the socket: %2%") % m_address % e.what();
        schedule_remake();
        return;
    }
    start();
}

void zmq_frame_receiver::drain(const std::weak_ptr<zmq_frame_receiver>& weak) {
    for (std::size_t handled = 0;; ++handled) {
        zmq::message_t frame;
        std::shared_ptr<message_stream_callbacks> callbacks;
        {
            const auto self = weak.lock();
            if (!self || !self->m_link)
                return;
            if (handled == max_frames_per_turn) {
                self->schedule_drain();
                return;
            }
            if (!self->try_receive(frame)) {
                self->wait();
                return;
            }
            self->m_health.frame_received(std::chrono::steady_clock::now());
            callbacks = self->m_callbacks.lock();
            if (!callbacks)
                return;
        }
        // No strong reference to the receiver while callbacks run: one of
        // them may destroy the stream, which dispatch notices through `weak`.
        try {
            callbacks->dispatch(frame.to_string_view(), weak);
        } catch (...) {
            // The exception leaves the loop's run; the next run goes on here.
            if (const auto self = weak.lock())
                self->schedule_drain();
            throw;
        }
    }
}

bool zmq_frame_receiver::try_receive(zmq::message_t& frame) {
    try {
        while (m_link->socket.get(zmq::sockopt::events) & ZMQ_POLLIN) {
            if (m_link->socket.recv(frame, zmq::recv_flags::dontwait))
                return true;
        }
    } catch (const zmq::error_t& e) {
        remake_after(boost::system::error_code(e.num(), zmq_category()));
    }
    return false;
}

void zmq_frame_receiver::schedule_drain() {
    if (!m_link || m_drain_posted)
        return;
    m_drain_posted = true;
    boost::asio::post(m_io, [weak = weak_from_this()] { on_posted(weak); });
}

void zmq_frame_receiver::on_posted(const std::weak_ptr<zmq_frame_receiver>& weak) {
    {
        const auto self = weak.lock();
        if (!self)
            return;
        self->m_drain_posted = false;
    }
    drain(weak);
}

void zmq_frame_receiver::wait() {
    if (!m_link || m_wait_pending)
        return;
    m_wait_pending = true;
    m_link->descriptor->get().async_wait(
        boost::asio::posix::stream_descriptor::wait_read,
        [weak = weak_from_this(), generation = m_generation](const boost::system::error_code& ec) {
            on_readable(weak, generation, ec);
        });
}

void zmq_frame_receiver::on_readable(const std::weak_ptr<zmq_frame_receiver>& weak,
                                     std::uint64_t generation,
                                     const boost::system::error_code& ec) {
    {
        const auto self = weak.lock();
        // A wait on a socket since replaced says nothing of the new one.
        if (!self || generation != self->m_generation)
            return;
        self->m_wait_pending = false;
        if (ec == boost::asio::error::operation_aborted)
            return;
        if (ec) {
            self->remake_after(ec);
            return;
        }
    }
    drain(weak);
}

}  // namespace zentu::libs::core
