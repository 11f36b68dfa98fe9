#include "context/alarm_rules.hpp"
#include "context/protocol.hpp"

namespace zentu::context {

std::string_view to_string(rule_verdict verdict) {
    switch (verdict) {
        case rule_verdict::applies:
            return "applies";
        case rule_verdict::other_kind:
            return "other kind";
        case rule_verdict::other_project:
            return "other project";
        case rule_verdict::inactive:
            return "inactive";
        case rule_verdict::exception_by_uid:
            return "exception by uid";
        case rule_verdict::exception_by_group:
            return "exception by group";
        case rule_verdict::default_allowed:
            return "default allowed";
        case rule_verdict::unresponsive:
            return "unresponsive";
        case rule_verdict::no_mac:
            return "no MAC address";
    }
    return "unknown";
}

keep_in_terms::keep_in_terms(const zone& z)
    : type(z.get_type()),
      active(z.get_active()),
      default_allowed(z.get_default_allowed()),
      project_uid(z.get_project_uid()),
      exceptions(z.get_exceptions()),
      exceptions_groups(z.get_exceptions_groups()) {}

bool keep_in_terms::operator==(const keep_in_terms& other) const {
    return type == other.type && active == other.active &&
           default_allowed == other.default_allowed && project_uid == other.project_uid &&
           exceptions == other.exceptions && exceptions_groups == other.exceptions_groups;
}

rule_verdict object_verdict(alarm_type kind, const trackable_object& object) {
    if (kind == alarm_type::ki && !object.get_responsive())
        return rule_verdict::unresponsive;
    if (!object.get_mac_address())
        return rule_verdict::no_mac;
    return rule_verdict::applies;
}

rule_verdict keep_out_verdict(const zone& zone, const trackable_object& object) {
    if (zone.get_type() != zone_type::KEEP_OUT)
        return rule_verdict::other_kind;
    return object_verdict(alarm_type::ko, object);
}

bool rules_need(const zone_event& event, bool zone_known, bool object_known) {
    if (!zone_known)
        return false;
    const bool enters = event.get_action() == protocol::enter;
    switch (event.get_zone_type()) {
        case zone_type::KEEP_IN:
            return object_known;
        case zone_type::KEEP_OUT:
            return enters;
        default:
            return false;
    }
}

rule_verdict alarm_verdict(alarm_type kind, const zone& zone, const trackable_object& object) {
    return kind == alarm_type::ki ? keep_in_verdict(zone, object) : keep_out_verdict(zone, object);
}

}  // namespace zentu::context
