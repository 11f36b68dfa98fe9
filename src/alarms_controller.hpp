#pragma once

#include <boost/optional.hpp>
#include <memory>
#include <string>

#include "context/zone_event.hpp"
#include "core/timestamp.hpp"

namespace zentu {

namespace context {
class context;
}
namespace libs::core {
class component_logger;
class timers_manager;
namespace http {
class client;
}
}  // namespace libs::core

// Carries the generators' decisions to the context's alarms and to the
// platform's alarms API. Used from the events-loop thread only.
class alarms_controller {
public:
    using ptr = std::unique_ptr<alarms_controller>;
    using timestamp = libs::core::timestamp;
    using optional_event = boost::optional<const context::zone_event&>;

    // Registers the alarms already in the context; they count as set.
    static ptr create(context::context& ctx, libs::core::http::client& http_client,
                      const libs::core::component_logger& logger,
                      libs::core::timers_manager& timers, int zone_violation_histeresis,
                      int buffer_violation_histeresis);

    virtual ~alarms_controller() = default;

    virtual void set_ki_alarm(const std::string& obj_uid, const std::string& zone_uid,
                              optional_event event, timestamp ts) = 0;
    virtual void clear_ki_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                optional_event event, timestamp ts) = 0;
    virtual void set_ko_alarm(const std::string& obj_uid, const std::string& zone_uid,
                              const context::zone_event& event, timestamp ts) = 0;
    virtual void clear_ko_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                optional_event event, timestamp ts) = 0;
};

}  // namespace zentu
