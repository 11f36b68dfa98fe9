#pragma once

#include <json/value.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <tuple>

#include "context/alarm.hpp"
#include "context/pair_uid.hpp"
#include "context/protocol.hpp"
#include "context/record_schema.hpp"
#include "context/trackableobject.hpp"
#include "context/zone.hpp"
#include "context/zone_event.hpp"
#include "context_utils/parsers/alarm.hpp"
#include "context_utils/parsers/trackable_object.hpp"
#include "context_utils/parsers/zone.hpp"
#include "core/enum_from_string.hpp"
#include "core/json_members.hpp"

namespace zentu::schema {

// The field tables of the records the service keeps: one row per field,
// saying where it comes from in the platform's record, where the model keeps
// it, whether it counts as a change and how the mirror shows it. The row
// order is the order of the mirror's hash fields; the uid comes first.

namespace parsers = libs::context_utils::parsers;
using libs::core::timestamp;

// The record views hand out checked parts: this cannot throw.
inline timestamp record_time(std::uint32_t seconds, std::uint32_t milliseconds) {
    return timestamp::from_parts(seconds, milliseconds);
}

template <typename Range>
std::set<std::string> to_set(const Range& range) {
    std::set<std::string> out;
    for (const auto& text : range)
        out.insert(std::string(text));
    return out;
}

// ---- zone ---------------------------------------------------------------------------

template <typename T>
using zone_field = field<parsers::zone, context::zone, T>;

inline context::zone_shape shape_of(const std::string& text) {
    return text == "polygon" ? context::zone_shape::POLYGON : context::zone_shape::CIRCLE;
}

// A type the service does not know reads as nothing: such a record always
// counts as a change, and the zone holds UNKNOWN.
inline std::optional<context::zone_type> zone_type_of(const parsers::zone& record) {
    return libs::core::enum_from_string<context::zone_type>(record.get_zone_type_name());
}

inline const auto zone_fields = std::make_tuple(
    zone_field<std::string>{"uid", [](const parsers::zone& r) { return r.get_uid(); },
                            [](const context::zone& z) { return z.get_uid(); }, nullptr, none},
    zone_field<std::string>{"name", [](const parsers::zone& r) { return r.get_name(); },
                            [](const context::zone& z) { return z.get_name(); },
                            [](context::zone& z, std::string v) { z.set_name(std::move(v)); }},
    zone_field<std::string>{
        "", [](const parsers::zone& r) { return r.get_project_uid(); },
        [](const context::zone& z) { return z.get_project_uid(); },
        [](context::zone& z, std::string v) { z.set_project_uid(std::move(v)); }},
    zone_field<std::optional<std::string>>{
        "sublocation_uid", [](const parsers::zone& r) { return r.get_sublocation_uid(); },
        [](const context::zone& z) { return z.get_sublocation_uid(); },
        [](context::zone& z, std::optional<std::string> v) {
            z.set_sublocation_uid(std::move(v));
        }},
    zone_field<bool>{"active", [](const parsers::zone& r) { return r.get_active(); },
                     [](const context::zone& z) { return z.get_active(); },
                     [](context::zone& z, bool v) { z.set_active(v); }},
    zone_field<context::zone_shape>{
        "shape", [](const parsers::zone& r) { return shape_of(r.get_shape()); },
        [](const context::zone& z) { return z.get_shape(); },
        [](context::zone& z, context::zone_shape v) { z.set_shape(v); }},
    zone_field<std::optional<context::zone_type>>{
        "type", zone_type_of,
        [](const context::zone& z) { return std::optional<context::zone_type>(z.get_type()); },
        [](context::zone& z, std::optional<context::zone_type> v) {
            z.set_type(v.value_or(context::zone_type::UNKNOWN));
        },
        compared,
        [](const std::optional<context::zone_type>& read,
           const std::optional<context::zone_type>& held) { return read && read == held; },
        [](const std::optional<context::zone_type>& v) {
            return std::string(to_string(v.value_or(context::zone_type::UNKNOWN)));
        }},
    zone_field<std::uint32_t>{"alarm_level",
                              [](const parsers::zone& r) { return r.get_zone_alarm_level(); },
                              [](const context::zone& z) { return z.get_alarm_level(); },
                              [](context::zone& z, std::uint32_t v) { z.set_alarm_level(v); }},
    zone_field<bool>{"default_allowed",
                     [](const parsers::zone& r) { return r.get_default_allowed(); },
                     [](const context::zone& z) { return z.get_default_allowed(); },
                     [](context::zone& z, bool v) { z.set_default_allowed(v); }},
    // The time of the record alone is no change.
    zone_field<timestamp>{
        "ts", [](const parsers::zone& r) { return record_time(r.get_ts(), r.get_ms()); },
        [](const context::zone& z) { return z.get_ts(); },
        [](context::zone& z, timestamp v) { z.set_ts(v); }, none},
    zone_field<std::optional<std::string>>{
        "trackable_object_uid", [](const parsers::zone& r) { return r.get_trackable_object_uid(); },
        [](const context::zone& z) { return z.get_trackable_object_uid(); },
        [](context::zone& z, std::optional<std::string> v) {
            z.set_trackable_object_uid(std::move(v));
        }},
    // Malformed exceptions must not stop an update of the zone's other fields.
    zone_field<std::set<std::string>>{
        "", [](const parsers::zone& r) { return to_set(r.get_zone_exceptions()); },
        [](const context::zone& z) { return z.get_exceptions(); },
        [](context::zone& z, std::set<std::string> v) { z.set_exceptions(std::move(v)); },
        compared | lenient},
    zone_field<std::set<std::string>>{
        "", [](const parsers::zone& r) { return to_set(r.get_zone_exceptions_groups()); },
        [](const context::zone& z) { return z.get_exceptions_groups(); },
        [](context::zone& z, std::set<std::string> v) { z.set_exceptions_groups(std::move(v)); },
        compared | lenient});

// ---- trackable object ---------------------------------------------------------------

template <typename T>
using object_field = field<parsers::trackable_object, context::trackable_object, T>;

inline std::set<std::string> groups_of(const parsers::trackable_object& record) {
    const auto groups = record.get_groups();
    return groups ? to_set(*groups) : std::set<std::string>{};
}

inline const auto object_fields = std::make_tuple(
    object_field<std::string>{"uid", [](const parsers::trackable_object& r) { return r.get_uid(); },
                              [](const context::trackable_object& o) { return o.get_uid(); },
                              nullptr, none},
    object_field<bool>{
        "responsive",
        [](const parsers::trackable_object& r) { return r.get_responsive().value_or(false); },
        [](const context::trackable_object& o) { return o.get_responsive(); },
        [](context::trackable_object& o, bool v) { o.set_responsive(v); }},
    object_field<std::optional<std::string>>{
        "mac_address", [](const parsers::trackable_object& r) { return r.get_mac_address(); },
        [](const context::trackable_object& o) { return o.get_mac_address(); },
        [](context::trackable_object& o, std::optional<std::string> v) {
            o.set_mac_address(std::move(v));
        }},
    object_field<std::string>{
        "project_uid", [](const parsers::trackable_object& r) { return r.get_project_uid(); },
        [](const context::trackable_object& o) { return o.get_project_uid(); },
        [](context::trackable_object& o, std::string v) { o.set_project_uid(std::move(v)); }},
    // A record without a sublocation keeps where the object was last seen.
    object_field<std::optional<std::string>>{
        "sublocation_uid",
        [](const parsers::trackable_object& r) { return r.get_sublocation_uid(); },
        [](const context::trackable_object& o) { return o.get_sublocation_uid(); },
        [](context::trackable_object& o, std::optional<std::string> v) {
            o.set_sublocation_uid(std::move(v));
        },
        compared | kept_when_absent},
    object_field<timestamp>{
        "ts",
        [](const parsers::trackable_object& r) { return record_time(r.get_ts(), r.get_ms()); },
        [](const context::trackable_object& o) { return o.get_ts(); },
        [](context::trackable_object& o, timestamp v) { o.set_ts(v); }, none},
    object_field<std::optional<std::string>>{
        "self_zone_uid", [](const parsers::trackable_object& r) { return r.get_self_zone_uid(); },
        [](const context::trackable_object& o) { return o.get_self_zone_uid(); },
        [](context::trackable_object& o, std::optional<std::string> v) {
            o.set_self_zone_uid(std::move(v));
        }},
    object_field<std::set<std::string>>{
        "", groups_of, [](const context::trackable_object& o) { return o.get_groups(); },
        [](context::trackable_object& o, std::set<std::string> v) { o.set_groups(std::move(v)); }});

// ---- alarm --------------------------------------------------------------------------

// Alarms come from the platform's list of open alarms; a record without a
// zone or a level is no alarm the service can keep (the caller checks).
template <typename T>
using alarm_field = field<parsers::alarm, context::alarm, T>;

// Where the platform gave no coordinate.
inline constexpr std::int32_t absent_coordinate = 999999;
inline std::string coordinate_text(const context::alarm::coordinate& value) {
    return std::to_string(value ? *value : absent_coordinate);
}

inline const auto alarm_fields = std::make_tuple(
    alarm_field<std::string>{"uid",
                             [](const parsers::alarm& r) {
                                 return context::pair_uid(r.get_obj_uid(), *r.get_zone_uid());
                             },
                             [](const context::alarm& a) { return a.get_uid(); }, nullptr, none},
    alarm_field<std::string>{
        "trobject_uid", [](const parsers::alarm& r) { return r.get_obj_uid(); },
        [](const context::alarm& a) { return a.get_trobject_uid(); },
        [](context::alarm& a, std::string v) { a.set_trobject_uid(std::move(v)); }},
    alarm_field<std::optional<std::string>>{
        "sublocation_uid", [](const parsers::alarm& r) { return r.get_sublocation_uid(); },
        [](const context::alarm& a) {
            const auto uid = a.get_sublocation_uid();
            return uid ? std::optional<std::string>(*uid) : std::nullopt;
        },
        [](context::alarm& a, std::optional<std::string> v) {
            a.set_sublocation_uid(std::move(v));
        }},
    alarm_field<std::string>{
        "zone_uid", [](const parsers::alarm& r) { return *r.get_zone_uid(); },
        [](const context::alarm& a) { return a.get_zone_uid(); },
        [](context::alarm& a, std::string v) { a.set_zone_uid(std::move(v)); }},
    alarm_field<std::string>{
        "mac_address", [](const parsers::alarm& r) { return r.get_mac_address(); },
        [](const context::alarm& a) { return a.get_mac_address(); },
        [](context::alarm& a, std::string v) { a.set_mac_address(std::move(v)); }},
    alarm_field<std::string>{
        "alarm_name", [](const parsers::alarm& r) { return r.get_alarm_name(); },
        [](const context::alarm& a) { return a.get_alarm_name(); },
        [](context::alarm& a, std::string v) { a.set_alarm_name(std::move(v)); }},
    // Shown as a signed number, as the mirror always has.
    alarm_field<std::uint32_t>{
        "zone_alarm_level", [](const parsers::alarm& r) { return *r.get_zone_alarm_level(); },
        [](const context::alarm& a) { return a.get_zone_alarm_level(); },
        [](context::alarm& a, std::uint32_t v) { a.set_zone_alarm_level(v); }, compared, nullptr,
        [](const std::uint32_t& v) { return std::to_string(static_cast<int>(v)); }},
    alarm_field<context::alarm_type>{
        "alarm_type",
        [](const parsers::alarm& r) {
            const auto type = r.get_zone_violation_type();
            return type && *type == protocol::keep_in ? context::alarm_type::ki
                                                      : context::alarm_type::ko;
        },
        [](const context::alarm& a) { return a.get_alarm_type(); },
        [](context::alarm& a, context::alarm_type v) { a.set_alarm_type(v); }},
    alarm_field<std::string>{
        "alarm_text", [](const parsers::alarm& r) { return r.get_text(); },
        [](const context::alarm& a) { return a.get_alarm_text(); },
        [](context::alarm& a, std::string v) { a.set_alarm_text(std::move(v)); }},
    // An alarm the platform lists is open.
    alarm_field<std::string>{"state",
                             [](const parsers::alarm&) { return std::string(protocol::set); },
                             [](const context::alarm& a) { return a.get_state(); },
                             [](context::alarm& a, std::string v) { a.set_state(std::move(v)); }},
    alarm_field<timestamp>{
        "timestamp", [](const parsers::alarm& r) { return record_time(r.get_ts(), r.get_ms()); },
        [](const context::alarm& a) { return a.get_timestamp(); },
        [](context::alarm& a, timestamp v) { a.set_timestamp(v); }},
    alarm_field<context::alarm::coordinate>{
        "x", [](const parsers::alarm& r) { return r.get_x(); },
        [](const context::alarm& a) { return a.get_x(); },
        [](context::alarm& a, context::alarm::coordinate v) { a.set_x(v); }, compared, nullptr,
        coordinate_text},
    alarm_field<context::alarm::coordinate>{
        "y", [](const parsers::alarm& r) { return r.get_y(); },
        [](const context::alarm& a) { return a.get_y(); },
        [](context::alarm& a, context::alarm::coordinate v) { a.set_y(v); }, compared, nullptr,
        coordinate_text},
    alarm_field<context::alarm::coordinate>{
        "z", [](const parsers::alarm& r) { return r.get_z(); },
        [](const context::alarm& a) { return a.get_z(); },
        [](context::alarm& a, context::alarm::coordinate v) { a.set_z(v); }, compared, nullptr,
        coordinate_text});

// ---- zone event ---------------------------------------------------------------------

// Zone events come from the stream's "zone_event" messages, which are plain
// JSON; each member must have exactly its JSON type (a number is no text, 1.5
// no coordinate). One that is missing or of another type throws
// malformed_member: the message is dropped. The time, read last, throws
// libs::core::invalid_time when it is out of range. Zone events are not
// mirrored.
struct malformed_member {};

// Zone events are read from the members of their message, whichever reader
// found them (core/json_members.hpp); the types are JSON's own: a number is
// no text, a text no number.
using message_members = libs::core::json::members;

template <typename T>
using zone_event_field = field<message_members, context::zone_event, T>;

inline const message_members::member& member_of(const message_members& message, const char* name,
                                                message_members::kind kind) {
    const auto* found = message.find(name);
    if (!found || found->type != kind)
        throw malformed_member{};
    return *found;
}

inline std::string text_member(const message_members& message, const char* name) {
    return std::string(member_of(message, name, message_members::kind::text).text);
}

inline std::int32_t coordinate_member(const message_members& message, const char* name) {
    const auto value = member_of(message, name, message_members::kind::integer).integer;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        throw malformed_member{};
    return static_cast<std::int32_t>(value);
}

inline timestamp time_members(const message_members& message) {
    return timestamp::from_parts(member_of(message, "ts", message_members::kind::integer).integer,
                                 member_of(message, "ms", message_members::kind::integer).integer);
}

// A kind the service does not know is UNKNOWN.
inline context::zone_type zone_type_member(const message_members& message) {
    return libs::core::enum_from_string<context::zone_type>(text_member(message, "zone_type_name"))
        .value_or(context::zone_type::UNKNOWN);
}

inline const auto zone_event_fields = std::make_tuple(
    zone_event_field<std::string>{
        "",
        [](const message_members& m) {
            return context::pair_uid(text_member(m, "obj_uid"), text_member(m, "zone_uid"));
        },
        [](const context::zone_event& e) { return e.get_uid(); }, nullptr, none},
    zone_event_field<std::string>{
        "", [](const message_members& m) { return text_member(m, "obj_uid"); },
        [](const context::zone_event& e) { return e.get_obj_uid(); },
        [](context::zone_event& e, std::string v) { e.set_obj_uid(std::move(v)); }},
    zone_event_field<std::string>{
        "", [](const message_members& m) { return text_member(m, "sublocation_uid"); },
        [](const context::zone_event& e) { return e.get_sublocation_uid(); },
        [](context::zone_event& e, std::string v) { e.set_sublocation_uid(std::move(v)); }},
    zone_event_field<std::string>{
        "", [](const message_members& m) { return text_member(m, "project_uid"); },
        [](const context::zone_event& e) { return e.get_project_uid(); },
        [](context::zone_event& e, std::string v) { e.set_project_uid(std::move(v)); }},
    zone_event_field<std::string>{
        "", [](const message_members& m) { return text_member(m, "zone_uid"); },
        [](const context::zone_event& e) { return e.get_zone_uid(); },
        [](context::zone_event& e, std::string v) { e.set_zone_uid(std::move(v)); }},
    zone_event_field<context::zone_type>{
        "", zone_type_member, [](const context::zone_event& e) { return e.get_zone_type(); },
        [](context::zone_event& e, context::zone_type v) { e.set_zone_type(v); }},
    zone_event_field<std::string>{
        "", [](const message_members& m) { return text_member(m, "action"); },
        [](const context::zone_event& e) { return e.get_action(); },
        [](context::zone_event& e, std::string v) { e.set_action(std::move(v)); }},
    zone_event_field<std::int32_t>{
        "", [](const message_members& m) { return coordinate_member(m, "x"); },
        [](const context::zone_event& e) { return e.get_x(); },
        [](context::zone_event& e, std::int32_t v) { e.set_x(v); }},
    zone_event_field<std::int32_t>{
        "", [](const message_members& m) { return coordinate_member(m, "y"); },
        [](const context::zone_event& e) { return e.get_y(); },
        [](context::zone_event& e, std::int32_t v) { e.set_y(v); }},
    zone_event_field<std::int32_t>{
        "", [](const message_members& m) { return coordinate_member(m, "z"); },
        [](const context::zone_event& e) { return e.get_z(); },
        [](context::zone_event& e, std::int32_t v) { e.set_z(v); }},
    zone_event_field<timestamp>{"", time_members,
                                [](const context::zone_event& e) { return e.get_ts(); },
                                [](context::zone_event& e, timestamp v) { e.set_ts(v); }});

}  // namespace zentu::schema
