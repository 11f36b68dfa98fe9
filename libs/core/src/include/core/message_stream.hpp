#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace zentu::libs::core {

// Topic-based intake of single-frame messages. Used from the loop's thread.
class message_stream {
public:
    using ptr = std::unique_ptr<message_stream>;
    using callback = std::function<void(std::string_view)>;
    using steady_time = std::chrono::steady_clock::time_point;

    // Delivery stops when the subscription is destroyed.
    class subscription {
    public:
        using ptr = std::unique_ptr<subscription>;
        virtual ~subscription() = default;
    };

    // What the stream knows of its own health, for operators and for the
    // owner's repair of what a gap may have lost.
    struct health {
        // A finished handshake with the publisher and no disconnection,
        // heartbeat time-out or receive error since.
        bool connected = true;
        // Connections lost so far (disconnections, heartbeat time-outs,
        // receive errors that made the socket anew).
        std::uint64_t disconnects = 0;
        // Frames received so far, whatever their topic.
        std::uint64_t messages = 0;
        // When the last frame arrived; nothing before the first.
        std::optional<steady_time> last_message;
    };

    // Told on the loop's thread each time the stream connects again after it
    // was disconnected; down_for is how long it was away. Not told for the
    // first connection.
    using reconnected_callback = std::function<void(std::chrono::nanoseconds down_for)>;

    virtual ~message_stream() = default;
    virtual subscription::ptr subscribe(std::string_view topic, callback cb) = 0;
    // Whether the stream is connected to its publisher now (a finished
    // handshake, no disconnection since). A stream that cannot tell says true.
    virtual bool is_connected() const { return get_health().connected; }
    // Blocks up to `timeout` until the stream is connected, for the start,
    // before the loop runs: subscribed and connected before the lists are
    // read, nothing published after them is missed. Returns whether it is
    // connected. A stream that cannot tell says true at once.
    virtual bool wait_connected(std::chrono::milliseconds /*timeout*/) { return is_connected(); }
    // A stream that cannot tell reports itself connected, with no counts.
    virtual health get_health() const { return {}; }
    // Replaces the callback; an empty one stops the telling. By value: the
    // streams that can tell keep it.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    virtual void on_reconnected(reconnected_callback /*callback*/) {}
};

}  // namespace zentu::libs::core
