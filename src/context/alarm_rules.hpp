#pragma once

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "context/alarm_type.hpp"
#include "context/trackableobject.hpp"
#include "context/zone.hpp"
#include "context/zone_event.hpp"
#include "context/zone_type.hpp"

namespace zentu::context {

// The rules of the two alarms, each stated once: whether an object may have a
// keep-in or a keep-out alarm for a zone, and when not, why. Where the object
// is does not count here: the generators raise an alarm the rule allows once
// the object is where the alarm says (outside every keep-in zone that holds
// it in, inside a keep-out zone).

// The answer of a rule; every value but applies names the first reason, in
// the order the rule looks (the zone's terms, then the object's own state).
enum class rule_verdict : std::uint8_t {
    applies,             // the object may have the alarm
    other_kind,          // the zone is not of the alarm's kind
    other_project,       // keep-in: the zone belongs to another project
    inactive,            // keep-in: the zone is not active
    exception_by_uid,    // keep-in: the zone excepts the object by its uid
    exception_by_group,  // keep-in: the zone excepts one of the object's groups
    default_allowed,     // keep-in: the zone allows every object but its exceptions
    unresponsive,        // keep-in: the object is not responsive
    no_mac,              // the object has no MAC address to name it by to the platform
};

// "applies", "other kind", "other project", "inactive", "exception by uid",
// "exception by group", "default allowed", "unresponsive", "no MAC address".
std::string_view to_string(rule_verdict verdict);

// What the keep-in rule reads of a zone, kept by whoever must tell, when the
// zone changes, which objects it held in before.
struct keep_in_terms {
    explicit keep_in_terms(const zone& z);

    zone_type get_type() const noexcept { return type; }
    bool get_active() const noexcept { return active; }
    bool get_default_allowed() const noexcept { return default_allowed; }
    const std::string& get_project_uid() const noexcept { return project_uid; }
    const zone::uids& get_exceptions() const noexcept { return exceptions; }
    const zone::uids& get_exceptions_groups() const noexcept { return exceptions_groups; }

    bool operator==(const keep_in_terms& other) const;
    bool operator!=(const keep_in_terms& other) const { return !(*this == other); }

    zone_type type;
    bool active;
    bool default_allowed;
    std::string project_uid;
    zone::uids exceptions;
    zone::uids exceptions_groups;
};

// What either rule asks of the object itself: a keep-in alarm wants it
// responsive, and an alarm of either kind a MAC address.
rule_verdict object_verdict(alarm_type kind, const trackable_object& object);

// The zone's side of the keep-in rule: whether the zone holds the object in.
// It must be an active keep-in zone of the object's project, and the object
// an exception (by its uid or one of its groups) exactly when the zone allows
// by default. Zone is a zone or its keep_in_terms.
template <typename Zone>
rule_verdict keep_in_zone_verdict(const Zone& zone, const trackable_object& object) {
    if (zone.get_type() != zone_type::KEEP_IN)
        return rule_verdict::other_kind;
    if (object.get_project_uid() != zone.get_project_uid())
        return rule_verdict::other_project;
    if (!zone.get_active())
        return rule_verdict::inactive;
    auto exception = rule_verdict::applies;
    const auto& groups = object.get_groups();
    if (zone.get_exceptions().count(object.get_uid()) != 0)
        exception = rule_verdict::exception_by_uid;
    else if (std::any_of(groups.begin(), groups.end(), [&](const std::string& group) {
                 return zone.get_exceptions_groups().count(group) != 0;
             }))
        exception = rule_verdict::exception_by_group;
    if (!zone.get_default_allowed())
        return exception;
    return exception == rule_verdict::applies ? rule_verdict::default_allowed
                                              : rule_verdict::applies;
}

template <typename Zone>
bool holds_in(const Zone& zone, const trackable_object& object) {
    return keep_in_zone_verdict(zone, object) == rule_verdict::applies;
}

// The keep-in rule: may the object have a keep-in alarm for the zone?
template <typename Zone>
rule_verdict keep_in_verdict(const Zone& zone, const trackable_object& object) {
    const auto verdict = keep_in_zone_verdict(zone, object);
    return verdict == rule_verdict::applies ? object_verdict(alarm_type::ki, object) : verdict;
}

// The keep-out rule: may the object have a keep-out alarm for the zone? Any
// keep-out zone forbids any object with a MAC address, of whatever project,
// active or not.
rule_verdict keep_out_verdict(const zone& zone, const trackable_object& object);

// The rule of the kind.
rule_verdict alarm_verdict(alarm_type kind, const zone& zone, const trackable_object& object);

// Whether the rules still need a movement once it was handled: any movement
// across a keep-in zone, and a keep-out "enter", which its alarm lasts as
// long as; of an object not known yet only a keep-out "enter", for its
// "created" to raise the alarm; nothing of a zone not known.
bool rules_need(const zone_event& event, bool zone_known, bool object_known);

}  // namespace zentu::context
