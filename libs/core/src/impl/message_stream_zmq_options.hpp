#pragma once

#include <chrono>

namespace zentu::libs::core {

// How the SUB socket of a ZeroMQ message stream holds on to its publisher.
// The defaults are the service's; tests shorten the times.
struct zmq_stream_options {
    // Frames ZeroMQ may queue for the loop (ZMQ_RCVHWM). A publisher with
    // ZeroMQ's defaults queues only 1,000 frames for us and drops the rest
    // once we stop taking them, so a burst survives only when it fits here
    // while the loop catches up (with 1,000 here, 14,000 of a 100,000-frame
    // burst got through a busy loop; the kernel's autotuned TCP buffer adds
    // little, and an explicit ZMQ_RCVBUF turns that autotuning off). The
    // queue is bounded in frames, not bytes: each costs its size and about
    // 300 bytes of ZeroMQ's and malloc's own (measured: 100,000 zone events
    // of 250 bytes, 52 MB), so at most 200,000 x 550 B = 110 MB of zone
    // events. ZeroMQ does not tell how many frames wait in it.
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
