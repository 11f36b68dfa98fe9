#pragma once

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <zmq.hpp>

#include "core/logger.hpp"
#include "core/message_stream.hpp"

namespace zentu::libs::core::testing {

// A real PUB socket on a loopback port, chosen by the system unless given.
// By default it never drops: the test streams must see every frame it sends;
// with_zmq_defaults keeps ZeroMQ's own send queue of 1,000 frames, as the
// platform's publisher does.
class stream_publisher {
public:
    enum class queue { never_drops, with_zmq_defaults };

    explicit stream_publisher(queue kind = queue::never_drops,
                              const std::string& endpoint = "tcp://127.0.0.1:*") {
        if (kind == queue::never_drops)
            m_socket.set(zmq::sockopt::sndhwm, 0);
        m_socket.set(zmq::sockopt::linger, 0);
        m_socket.bind(endpoint);
        m_endpoint = m_socket.get(zmq::sockopt::last_endpoint);
    }

    const std::string& endpoint() const { return m_endpoint; }
    std::uint16_t port() const {
        return static_cast<std::uint16_t>(std::stoi(m_endpoint.substr(m_endpoint.rfind(':') + 1)));
    }
    void send(std::string_view frame) {
        m_socket.send(zmq::const_buffer(frame.data(), frame.size()), zmq::send_flags::none);
    }

private:
    zmq::context_t m_context{1};
    zmq::socket_t m_socket{m_context, zmq::socket_type::pub};
    std::string m_endpoint;
};

class stream_test : public ::testing::Test {
protected:
    // Runs the loop until done() holds; false when the time ran out first.
    bool run_until(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            if (m_io.stopped())
                m_io.restart();
            m_io.run_one_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    void run_for(std::chrono::milliseconds duration) {
        if (m_io.stopped())
            m_io.restart();
        m_io.run_for(duration);
    }

    // A SUB socket misses what is published before its subscriptions reach
    // the publisher: probe until one gets through. Subscriptions travel in
    // order, so every topic subscribed before this call is live afterwards.
    bool join(message_stream& stream) { return join(stream, m_publisher); }
    bool join(message_stream& stream, stream_publisher& publisher) {
        return until_seen(stream, publisher, "~probe");
    }

    // Frames travel in order: once a marker is seen, everything sent before
    // the first one has been dispatched or dropped.
    bool flush(message_stream& stream) { return until_seen(stream, m_publisher, "~marker"); }

    bool until_seen(message_stream& stream, stream_publisher& publisher, const std::string& topic) {
        bool seen = false;
        const auto subscription = stream.subscribe(topic, [&](std::string_view) { seen = true; });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!seen && std::chrono::steady_clock::now() < deadline) {
            publisher.send(topic + "{}");
            run_for(std::chrono::milliseconds(20));
        }
        return seen;
    }

    boost::asio::io_context m_io;
    logger m_logger{"marovane-test", "stream"};
    stream_publisher m_publisher;
};

}  // namespace zentu::libs::core::testing
