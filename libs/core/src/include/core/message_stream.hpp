#pragma once

#include <functional>
#include <memory>
#include <string_view>

namespace zentu::libs::core {

// Topic-based intake of single-frame messages. Used from the loop's thread.
class message_stream {
public:
    using ptr = std::unique_ptr<message_stream>;
    using callback = std::function<void(std::string_view)>;

    // Delivery stops when the subscription is destroyed.
    class subscription {
    public:
        using ptr = std::unique_ptr<subscription>;
        virtual ~subscription() = default;
    };

    virtual ~message_stream() = default;
    virtual subscription::ptr subscribe(std::string_view topic, callback cb) = 0;
    // Whether the stream is connected to its publisher now (a finished
    // handshake, no disconnection since). A stream that cannot tell says true.
    virtual bool is_connected() const { return true; }
};

}  // namespace zentu::libs::core
