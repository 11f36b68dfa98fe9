#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "core/clock.hpp"
#include "core/logger.hpp"
#include "redis/redis_context.hpp"

namespace zentu::redis {

// Where a Redis server is and how to log in to it.
struct endpoint {
    std::string host;
    int port = 0;
    unsigned db_number = 0;
    std::string password;

    std::string address() const { return host + ":" + std::to_string(port); }
};

// One connection attempt. Its failure keeps the type the context threw and
// names the cause for an operator: "Redis refused the password (host:port):
// ...", "Redis unreachable (host:port): ..." or "Redis error (host:port): ...",
// each followed by the context's own text. Blocks for up to the context's
// connect time-out; any thread.
context::ptr connect(const endpoint& where);

// The start-up wait for Redis, bounded because the mirror is optional: tries at
// once and then every second until `bound` has passed, logging each new cause
// of failure once; a bound of 0 is one attempt. Returns the connection, or null
// once the bound has passed (logged as a warning: the service starts with the
// mirror suspended). Throws libs::core::exception "Interrupted" when stopped()
// holds after an attempt, a successful one too, or during a wait. waiting(text)
// hears, after each failed attempt, what the service waits for.
//
// Threading: blocks the calling thread; meant for the start, before the events
// loop runs. The clock's wait_for paces the attempts.
context::ptr wait_at_start(const endpoint& where, std::chrono::seconds bound,
                           libs::core::clock& clock, const std::function<bool()>& stopped,
                           const libs::core::component_logger& logger,
                           const std::function<void(const std::string&)>& waiting = {});

}  // namespace zentu::redis
