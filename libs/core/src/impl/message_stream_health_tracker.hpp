#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "core/logger.hpp"
#include "core/message_stream.hpp"

namespace zentu::libs::core {

// The bookkeeping behind a stream's health: every loss of the connection and
// every return is counted and logged once, however many events announce it,
// and a return says how long the stream was away. Times are given, not read,
// so tests drive it without sockets or clocks. Used from the loop's thread.
class message_stream_health_tracker {
public:
    using steady_time = message_stream::steady_time;

    // `address` names the publisher in the log lines.
    message_stream_health_tracker(const component_logger& logger, std::string address);

    // A finished handshake. When it ends a disconnection, returns how long
    // the stream was away (from when the loss was noticed); nothing for the
    // first connection or when the stream was connected already.
    std::optional<std::chrono::nanoseconds> connected(steady_time now);
    // The connection is lost; repeated calls before the next connection
    // change nothing. Before the first connection there is nothing to lose.
    void disconnected(steady_time now);
    void frame_received(steady_time now) {
        ++m_health.messages;
        m_health.last_message = now;
    }

    const message_stream::health& health() const { return m_health; }

private:
    const component_logger& m_logger;
    const std::string m_address;
    message_stream::health m_health;
    bool m_ever_connected = false;
    steady_time m_down_since{};
};

}  // namespace zentu::libs::core
