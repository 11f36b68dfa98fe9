#pragma once

#include <json/value.h>

#include <memory>
#include <string>

#include "platform-sim/commands.hpp"
#include "platform-sim/common.hpp"
#include "platform-sim/faults.hpp"
#include "platform-sim/generator.hpp"
#include "platform-sim/journal.hpp"
#include "platform-sim/publisher.hpp"
#include "platform-sim/site.hpp"

namespace zentu::platform_sim {

struct control_parts {
    platform_sim::site& site;
    platform_sim::commands& commands;
    platform_sim::faults& faults;
    platform_sim::journal& journal;
    platform_sim::generator& generator;
    platform_sim::publisher& publisher;
    sim_log& log;
};

// The "/sim/" control API, also driven by scenario files. Thread safe.
class control_api {
public:
    using ptr = std::unique_ptr<control_api>;
    static ptr create(const control_parts& parts);
    virtual ~control_api() = default;

    // A command by name ("enter", "zone/delete", "fail", ...); throws request_error.
    virtual Json::Value run(const std::string& name, const Json::Value& body) = 0;
    // An HTTP request whose path starts with "/sim/".
    virtual http_reply handle(const std::string& method, const std::string& path,
                              const std::string& query, const std::string& body) = 0;
};

}  // namespace zentu::platform_sim
