#include "message_stream_zmq.hpp"

namespace zentu::libs::core {
namespace {

bool is_ascii_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

message_stream_zmq::message_stream_zmq(boost::asio::io_context& io, const component_logger& logger,
                                       const std::string& address,
                                       const zmq_stream_options& options)
    : m_stream_zmq_raw(io, logger, address, options) {}

std::string message_stream_zmq::wire_topic(std::string_view topic) {
    if (!topic.empty() && is_ascii_letter(topic.front()))
        return "#" + std::string(topic);
    return std::string(topic);
}

message_stream::subscription::ptr message_stream_zmq::subscribe(std::string_view topic,
                                                                callback cb) {
    return m_stream_zmq_raw.subscribe(wire_topic(topic),
                                      [cb = std::move(cb)](std::string_view frame) {
                                          const auto begin = frame.find('{');
                                          if (begin == std::string_view::npos)
                                              return;
                                          cb(frame.substr(begin));
                                      });
}

}  // namespace zentu::libs::core
