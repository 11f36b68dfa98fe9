#include "message_stream_zmq_receiver.hpp"

#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>
#include <boost/system/system_error.hpp>
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
                                       std::weak_ptr<message_stream_callbacks> callbacks)
    : m_io(io),
      m_logger(logger),
      m_callbacks(std::move(callbacks)),
      m_context(shared_context()),
      m_socket(*m_context, zmq::socket_type::sub) {
    m_socket.set(zmq::sockopt::linger, 0);
    m_monitor = std::make_shared<zmq_connection_monitor>(io, logger, *m_context, m_socket);
    try {
        m_socket.connect(address);
    } catch (const zmq::error_t& e) {
        throw boost::system::system_error(boost::system::error_code(e.num(), zmq_category()),
                                          "connect to " + address);
    }
    m_descriptor = std::make_unique<borrowed_descriptor>(m_io, m_socket.get(zmq::sockopt::fd));
}

zmq_frame_receiver::~zmq_frame_receiver() {
    boost::system::error_code ec;
    m_descriptor->get().cancel(ec);
    if (ec)
        m_logger.log_error(ec, ZENTU_SOURCE_LOCATION());
    // The descriptor must be let go before the socket closes its fd.
    m_descriptor.reset();
}

void zmq_frame_receiver::start() {
    m_monitor->start();
    schedule_drain();
}

void zmq_frame_receiver::subscribe(std::string_view topic) {
    m_socket.set(zmq::sockopt::subscribe, zmq::const_buffer(topic.data(), topic.size()));
    schedule_drain();
}

void zmq_frame_receiver::drain(const std::weak_ptr<zmq_frame_receiver>& weak) {
    for (std::size_t handled = 0;; ++handled) {
        zmq::message_t frame;
        std::shared_ptr<message_stream_callbacks> callbacks;
        {
            const auto self = weak.lock();
            if (!self || self->m_stopped)
                return;
            if (handled == max_frames_per_turn) {
                self->schedule_drain();
                return;
            }
            if (!self->try_receive(frame)) {
                self->wait();
                return;
            }
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
        while (m_socket.get(zmq::sockopt::events) & ZMQ_POLLIN) {
            if (m_socket.recv(frame, zmq::recv_flags::dontwait))
                return true;
        }
    } catch (const zmq::error_t& e) {
        fail(boost::system::error_code(e.num(), zmq_category()));
    }
    return false;
}

void zmq_frame_receiver::schedule_drain() {
    if (m_stopped || m_drain_posted)
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
    if (m_stopped || m_wait_pending)
        return;
    m_wait_pending = true;
    m_descriptor->get().async_wait(
        boost::asio::posix::stream_descriptor::wait_read,
        [weak = weak_from_this()](const boost::system::error_code& ec) { on_readable(weak, ec); });
}

void zmq_frame_receiver::on_readable(const std::weak_ptr<zmq_frame_receiver>& weak,
                                     const boost::system::error_code& ec) {
    {
        const auto self = weak.lock();
        if (!self)
            return;
        self->m_wait_pending = false;
        if (ec == boost::asio::error::operation_aborted)
            return;
        if (ec) {
            self->fail(ec);
            return;
        }
    }
    drain(weak);
}

void zmq_frame_receiver::fail(const boost::system::error_code& ec) {
    if (m_stopped)
        return;
    m_stopped = true;
    m_logger.log_error(ec, ZENTU_SOURCE_LOCATION());
    boost::system::error_code ignored;
    m_descriptor->get().cancel(ignored);
}

}  // namespace zentu::libs::core
