#pragma once

#include <boost/asio/io_context.hpp>
#include <memory>
#include <string>
#include <string_view>

#include "core/logger.hpp"
#include "core/message_stream.hpp"
#include "message_stream_callbacks.hpp"
#include "message_stream_zmq_receiver.hpp"

namespace zentu::libs::core {

// A ZeroMQ SUB socket whose frames are dispatched, whole, to the callbacks of
// the first subscribed topic (in byte order) that begins the frame. Used from
// the loop's thread only; callbacks run there and never after destruction.
// Subscriptions may outlive the stream. The connection's losses and returns
// are followed as zmq_frame_receiver says.
class message_stream_zmq_raw final : public message_stream {
public:
    // Connects to a ZeroMQ endpoint; a failure is thrown as
    // boost::system::system_error carrying the zmq error.
    message_stream_zmq_raw(boost::asio::io_context& io, const component_logger& logger,
                           const std::string& address, const zmq_stream_options& options = {});
    ~message_stream_zmq_raw() override = default;
    message_stream_zmq_raw(const message_stream_zmq_raw&) = delete;
    message_stream_zmq_raw& operator=(const message_stream_zmq_raw&) = delete;

    subscription::ptr subscribe(std::string_view topic, callback cb) override;
    health get_health() const override { return m_receiver->health(); }
    // Told from a completion of its own, after the handshake that ends a
    // disconnection (a lost peer, a heartbeat time-out, a socket made anew).
    bool wait_connected(std::chrono::milliseconds timeout) override {
        return m_receiver->wait_connected(timeout);
    }
    void on_reconnected(reconnected_callback callback) override {
        m_receiver->on_reconnected(std::move(callback));
    }

private:
    std::shared_ptr<message_stream_callbacks> m_callbacks;
    const component_logger& m_logger;
    // Declared last so it is gone before the table: no dispatch can start then.
    std::shared_ptr<zmq_frame_receiver> m_receiver;
};

}  // namespace zentu::libs::core
