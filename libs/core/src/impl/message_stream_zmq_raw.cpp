#include "message_stream_zmq_raw.hpp"

namespace zentu::libs::core {
namespace {

// Owns the callback; the table only sees it through a weak reference.
class subscription_impl final : public message_stream::subscription {
public:
    explicit subscription_impl(message_stream_callbacks::holder callback)
        : m_callback(std::move(callback)) {}

private:
    message_stream_callbacks::holder m_callback;
};

}  // namespace

message_stream_zmq_raw::message_stream_zmq_raw(boost::asio::io_context& io,
                                               const component_logger& logger,
                                               const std::string& address,
                                               const zmq_stream_options& options)
    : m_callbacks(std::make_shared<message_stream_callbacks>()),
      m_logger(logger),
      m_receiver(
          std::make_shared<zmq_frame_receiver>(io, m_logger, address, m_callbacks, options)) {
    m_receiver->start();
}

message_stream::subscription::ptr message_stream_zmq_raw::subscribe(std::string_view topic,
                                                                    callback cb) {
    auto holder = std::make_shared<callback>(std::move(cb));
    // ZeroMQ keeps every subscription for the life of the socket: set it once.
    if (!m_callbacks->has_topic(topic))
        m_receiver->subscribe(topic);
    m_callbacks->add(topic, holder);
    return std::make_unique<subscription_impl>(std::move(holder));
}

}  // namespace zentu::libs::core
