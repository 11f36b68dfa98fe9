#pragma once

#include <json/value.h>

#include <memory>

#include "platform-sim/commands.hpp"
#include "platform-sim/common.hpp"
#include "platform-sim/site.hpp"

namespace zentu::platform_sim {

// Moves many objects across many zones at a given rate (load tests): objects
// enter zones in turn and leave them again once "dwell" objects are inside. Runs on its own thread;
// start, stop and status are thread safe.
class generator {
public:
    using ptr = std::unique_ptr<generator>;
    static ptr create(site& site, commands& commands, sim_log& log);
    virtual ~generator() = default;

    // {rate: messages per second, count?, duration_ms?, dwell?, zones?: [...], objects?: [...]}
    // One of count and duration_ms is required. A run in progress is stopped first.
    virtual Json::Value start(const Json::Value& body) = 0;
    virtual void stop() = 0;
    // {"running", "sent", "enter", "leave", "errors", "elapsed_ms", "rate"}
    virtual Json::Value status() const = 0;
};

}  // namespace zentu::platform_sim
