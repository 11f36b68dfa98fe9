#pragma once

#include <boost/asio/io_context.hpp>
#include <string>
#include <string_view>

#include "core/logger.hpp"
#include "core/message_stream.hpp"
#include "message_stream_zmq_raw.hpp"

namespace zentu::libs::core {

// The platform's framing over a raw stream: a frame is "#" and the topic,
// anything, then a JSON document from the first "{" on; callbacks get the
// document only. Same threading contract as message_stream_zmq_raw.
class message_stream_zmq final : public message_stream {
public:
    message_stream_zmq(boost::asio::io_context& io, const component_logger& logger,
                       const std::string& address, const zmq_stream_options& options = {});

    subscription::ptr subscribe(std::string_view topic, callback cb) override;
    health get_health() const override { return m_stream_zmq_raw.get_health(); }
    bool wait_connected(std::chrono::milliseconds timeout) override {
        return m_stream_zmq_raw.wait_connected(timeout);
    }
    void on_reconnected(reconnected_callback callback) override {
        m_stream_zmq_raw.on_reconnected(std::move(callback));
    }

    // "#" + topic for a topic that starts with a letter, the topic otherwise.
    static std::string wire_topic(std::string_view topic);

private:
    message_stream_zmq_raw m_stream_zmq_raw;
};

}  // namespace zentu::libs::core
