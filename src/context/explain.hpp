#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "context/alarm_rules.hpp"
#include "context/alarm_type.hpp"
#include "context/context.hpp"
#include "context/keep_in_index.hpp"
#include "context/trackableobject.hpp"
#include "context/zone_event.hpp"
#include "core/timestamp.hpp"

namespace zentu::context {

// Why an object has the alarms it has, or none: what the rules (alarm_rules)
// and the keep-in index answer for it, gathered for an operator. It restates
// no rule: every verdict and position is theirs.

// One keep-in zone of the object's project.
struct keep_in_view {
    std::string zone_uid;
    std::string zone_name;
    bool active = false;
    // The zone's side of the keep-in rule: applies, or why it does not hold
    // the object in.
    rule_verdict verdict = rule_verdict::applies;
    keep_in_index::position position = keep_in_index::position::inside;
    keep_in_index::position_source source = keep_in_index::position_source::no_list;
};

// A keep-out zone the object is in.
struct keep_out_view {
    std::string zone_uid;
    std::string zone_name;
    libs::core::timestamp since;
    // The keep-out rule for the object.
    rule_verdict verdict = rule_verdict::applies;
};

// An alarm of the object: wanted by the rules, held in the context, or both.
struct alarm_view {
    std::string zone_uid;
    std::string zone_name;
    alarm_type kind = alarm_type::ko;
    bool wanted = false;
    // The state of the alarm held ("set", or "clear" until the platform
    // confirms it); none when none is held.
    std::optional<std::string> held_state;
    // One sentence on why.
    std::string why;
};

struct object_explanation {
    trackable_object object;
    // The object's latest movement across any zone.
    std::optional<zone_event> last_event;
    // In zone uid order.
    std::vector<keep_in_view> keep_in;
    std::vector<keep_out_view> keep_out;
    std::vector<alarm_view> alarms;
    // One sentence per kind on the alarms it wants, e.g. "no alarm: inside
    // Yard", "outside every active keep-in zone that applies: Yard".
    std::string keep_in_reason;
    std::string keep_out_reason;
};

// Nothing for an object the context does not know. Its cost grows with the
// keep-in zones of the object's project and the object's own pairs.
std::optional<object_explanation> explain(const context& ctx, std::string_view obj_uid);

// "movement", "occupancy list", "not in the occupancy list", "no occupancy list".
std::string_view to_string(keep_in_index::position_source source);
// "inside", "outside".
std::string_view to_string(keep_in_index::position position);

}  // namespace zentu::context
