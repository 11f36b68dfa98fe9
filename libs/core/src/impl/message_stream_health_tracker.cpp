#include "message_stream_health_tracker.hpp"

#include <cstdio>

namespace zentu::libs::core {
namespace {

// Tenths of a second: enough to tell a blip from an outage.
std::string seconds_text(std::chrono::nanoseconds duration) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", std::chrono::duration<double>(duration).count());
    return text;
}

}  // namespace

message_stream_health_tracker::message_stream_health_tracker(const component_logger& logger,
                                                             std::string address)
    : m_logger(logger), m_address(std::move(address)) {
    m_health.connected = false;
}

std::optional<std::chrono::nanoseconds> message_stream_health_tracker::connected(steady_time now) {
    if (m_health.connected)
        return std::nullopt;
    m_health.connected = true;
    if (!m_ever_connected) {
        m_ever_connected = true;
        m_logger.info("message stream to %1% connected") % m_address;
        return std::nullopt;
    }
    const auto down_for = now - m_down_since;
    m_logger.info("message stream to %1% reconnected after %2% s") % m_address %
        seconds_text(down_for);
    return down_for;
}

void message_stream_health_tracker::disconnected(steady_time now) {
    if (!m_health.connected)
        return;
    m_health.connected = false;
    ++m_health.disconnects;
    m_down_since = now;
    m_logger.warning("message stream to %1% disconnected") % m_address;
}

}  // namespace zentu::libs::core
