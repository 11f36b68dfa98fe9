#pragma once

#include <zmq.hpp>

#include <cstdint>
#include <cstring>
#include <string>

namespace zentu::libs::core::detail {

// Makes `monitor` (a PAIR socket) receive the handshake and disconnect events
// of `watched` through the inproc endpoint given, unique per monitor. Throws
// zmq::error_t.
inline void attach_connection_monitor(zmq::socket_t& watched, zmq::socket_t& monitor,
                                      const std::string& endpoint) {
    if (zmq_socket_monitor(watched.handle(), endpoint.c_str(),
                           ZMQ_EVENT_HANDSHAKE_SUCCEEDED | ZMQ_EVENT_DISCONNECTED) != 0)
        throw zmq::error_t();
    // No limit on the events waiting to be read: a full monitor queue would
    // block ZeroMQ's I/O thread.
    monitor.set(zmq::sockopt::rcvhwm, 0);
    monitor.set(zmq::sockopt::linger, 0);
    monitor.connect(endpoint);
}

// What one event of a ZeroMQ socket monitor says of the connection.
enum class monitor_event { none, connected, disconnected, other };

// Reads the next event of a socket monitor (its PAIR socket) without waiting;
// none when there is no event. A handshake that succeeded counts as
// connected: before it, ZeroMQ may drop what is sent. Throws zmq::error_t.
inline monitor_event read_monitor_event(zmq::socket_t& monitor) {
    zmq::message_t event;
    if (!monitor.recv(event, zmq::recv_flags::dontwait))
        return monitor_event::none;
    zmq::message_t address;
    if (event.more())
        (void)monitor.recv(address, zmq::recv_flags::dontwait);
    std::uint16_t kind = 0;
    if (event.size() >= sizeof(kind))
        std::memcpy(&kind, event.data(), sizeof(kind));
    switch (kind) {
        case ZMQ_EVENT_HANDSHAKE_SUCCEEDED:
            return monitor_event::connected;
        case ZMQ_EVENT_DISCONNECTED:
            return monitor_event::disconnected;
        default:
            return monitor_event::other;
    }
}

}  // namespace zentu::libs::core::detail
