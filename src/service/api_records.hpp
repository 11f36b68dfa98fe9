#pragma once

#include <json/value.h>

#include <optional>
#include <string>

#include "context/alarm.hpp"
#include "context/context.hpp"
#include "context/explain.hpp"
#include "context/zone.hpp"
#include "core/timer.hpp"
#include "delivery/alarms_controller_impl.hpp"

namespace zentu::api {

// The JSON shapes of the operator's API, one per record. The field names are
// the API's (README, "The operator's API"): keep them stable.

// A steady-clock time of the loop's timers as a wall-clock ISO 8601 text.
class clock_reader {
public:
    explicit clock_reader(const libs::core::timers_manager& timers)
        : m_now(timers.current_time_point()), m_wall(timers.current_timestamp()) {}
    Json::Value wall(libs::core::timer::time_point at) const;

private:
    libs::core::timer::time_point m_now;
    libs::core::timestamp m_wall;
};

Json::Value iso(libs::core::timestamp ts);
Json::Value text_or_null(const std::optional<std::string>& text);
// "keep_in", "keep_out".
const char* kind_name(context::alarm_type kind);

// An alarm held: the stored record (may be null, for a uid only the
// controller still holds) and the controller's state of its uid (may be null).
Json::Value alarm_json(const std::string& uid, const context::alarm* stored,
                       const alarms_controller_impl& controller, const clock_reader& clock);

// Which alarms /v1/alarms lists.
struct alarm_filter {
    std::optional<std::string> object;
    std::optional<std::string> zone;
    bool undelivered = false;
};

// {"alarms": [...]}: the alarms held that pass the filter, by uid (oldest
// unconfirmed first with undelivered).
Json::Value alarm_list_json(const context::context& ctx, const alarms_controller_impl& controller,
                            const clock_reader& clock, const alarm_filter& filter);

// The value as one line of JSON.
std::string compact(const Json::Value& value);

Json::Value explanation_json(const context::object_explanation& explanation);

// The zone's rule, without the objects inside it.
Json::Value zone_rule_json(const context::zone& zone);

}  // namespace zentu::api
