#pragma once

#include <json/value.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform-sim/common.hpp"

namespace zentu::platform_sim {

// The platform's message stream: a bound ZeroMQ PUB socket.
// Thread safe: publish may be called from any thread (sends are serialised).
class publisher {
public:
    using ptr = std::unique_ptr<publisher>;

    // A port 0 in a tcp endpoint binds an ephemeral port; endpoint() tells which.
    static ptr create(const std::string& endpoint, sim_log& log);
    virtual ~publisher() = default;

    virtual std::string endpoint() const = 0;
    // quiet: not logged line by line (load generation).
    virtual void publish(const std::string& topic, const Json::Value& document,
                         bool quiet = false) = 0;
    // A frame exactly as given (malformed messages on purpose).
    virtual void publish_raw(const std::string& frame) = 0;
    virtual std::uint64_t published() const = 0;

    // Down: the socket is closed, as when the platform restarts, and what is
    // published meanwhile is lost (counted, logged). Up again: a new socket
    // bound on the same endpoint; subscribers reconnect by themselves.
    virtual void set_up(bool up) = 0;
    virtual bool is_up() const = 0;
    virtual std::uint64_t dropped() const = 0;
};

}  // namespace zentu::platform_sim
