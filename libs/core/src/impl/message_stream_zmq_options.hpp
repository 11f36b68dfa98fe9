#pragma once

#include <chrono>

namespace zentu::libs::core {

// How the SUB socket of a ZeroMQ message stream holds on to its publisher.
// The defaults are the service's; tests shorten the times.
struct zmq_stream_options {
    // Frames ZeroMQ may queue for the loop (ZMQ_RCVHWM). A publisher with
    // ZeroMQ's defaults queues only 1,000 frames for us and drops the rest
    // once our queue is full, so a burst survives only when it fits here
    // while the loop catches up. The queue is bounded in frames, not bytes:
    // it can hold receive_hwm x (frame size + about 100 bytes of ZeroMQ's
    // own), e.g. 200,000 x 400 bytes = 80 MB of zone events at worst.
    // ZeroMQ does not tell how many frames wait in it.
    int receive_hwm = 200'000;

    // A ZeroMQ PING goes out after every interval without traffic; no answer
    // within the time-out drops the connection (a disconnect, then the
    // socket connects again). The publisher is asked (ZMQ_HEARTBEAT_TTL) to
    // drop us after the same time-out when our pings stop. This is what
    // notices a half-open connection: a peer that stopped answering without
    // closing. A zero interval turns heartbeats off.
    std::chrono::milliseconds heartbeat_interval{2000};
    std::chrono::milliseconds heartbeat_timeout{6000};

    // TCP keepalive, a second line behind the heartbeat: the kernel closes a
    // connection that stays idle and whose peer no longer answers its probes
    // after idle + interval x count. With heartbeats going a connection is
    // never idle, so this acts only when they are off (a zero interval).
    std::chrono::seconds keepalive_idle{10};
    std::chrono::seconds keepalive_interval{5};
    int keepalive_count = 3;

    // After a receive error the socket is made anew this much later, so an
    // error that repeats at once cannot spin the loop.
    std::chrono::milliseconds remake_delay{1000};
};

}  // namespace zentu::libs::core
