#pragma once

#include <string_view>

// The words of the platform's protocol that the service reads or writes, each
// defined once. The kinds of objects of "notify" messages, with their REST
// lists, are in the catalogue (object_info.hpp).
namespace zentu::libs::context_utils::protocol {

// Topics of the message stream.
inline constexpr std::string_view notify_topic = "notify";
inline constexpr std::string_view zone_event_topic = "zone_event";

// "action" of a "notify" message (compared in lower case).
inline constexpr std::string_view created = "created";
inline constexpr std::string_view updated = "updated";
inline constexpr std::string_view deleted = "deleted";
// "object" of the "notify" messages outside the catalogue (compared in upper case).
inline constexpr std::string_view groups_object = "TRACKABLE_OBJECT_GROUPS";
inline constexpr std::string_view association_object = "TRACKABLE_OBJECT_ASSOCIATION";

// "action" of a "zone_event" message; anything but "enter" is a leave.
inline constexpr std::string_view enter = "enter";
inline constexpr std::string_view leave = "leave";

// An alarm's "state", "alarm_name" and "zone_violation_type".
inline constexpr std::string_view set = "set";
inline constexpr std::string_view clear = "clear";
inline constexpr std::string_view zone_violation = "zone_violation";
inline constexpr std::string_view buffer_violation = "buffer_violation";
inline constexpr std::string_view keep_in = "keep_in";
inline constexpr std::string_view keep_out = "keep_out";

}  // namespace zentu::libs::context_utils::protocol
