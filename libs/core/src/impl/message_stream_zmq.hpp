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
                       const std::string& address);

    subscription::ptr subscribe(std::string_view topic, callback cb) override;
    bool is_connected() const override { return m_stream_zmq_raw.is_connected(); }

    // "#" + topic for a topic that starts with a letter, the topic otherwise.
    static std::string wire_topic(std::string_view topic);

private:
    message_stream_zmq_raw m_stream_zmq_raw;
};

}  // namespace zentu::libs::core
