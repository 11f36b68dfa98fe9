#pragma once

#include <memory>
#include <string>

#include "platform-sim/common.hpp"
#include "platform-sim/journal.hpp"
#include "platform-sim/site.hpp"

namespace zentu::platform_sim {

// The platform's REST API ("/api/private/..."): the object lists, the alarm
// types and alarm POSTs. Records every request in the journal. Thread safe.
class platform_api {
public:
    using ptr = std::unique_ptr<platform_api>;
    static ptr create(site& site, journal& journal, sim_log& log);
    virtual ~platform_api() = default;

    virtual http_reply handle(const std::string& method, const std::string& path,
                              const std::string& body) = 0;
};

}  // namespace zentu::platform_sim
