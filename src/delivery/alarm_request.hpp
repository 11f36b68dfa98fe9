#pragma once

#include <string>
#include <string_view>

#include "context/alarm.hpp"
#include "context/alarm_type.hpp"
#include "context/zone.hpp"

namespace zentu {

// What the service tells the platform's alarms API, all in one place: where
// alarms go, the texts an alarm carries and the body of its request. The
// platform simulator's request validation is checked against these bodies
// (tests/delivery_alarm_request_test.cpp).

inline constexpr const char* alarms_address = "/api/private/alarms/";

// "buffer_violation" for a zone that moves with an object, "zone_violation"
// for any other; the re-send period goes by it.
std::string_view alarm_name_for(const context::zone& zone);

// "Keep in zone <name> with zone alarm level <level>", "Keep out ..." for keep-out.
std::string alarm_text_for(context::alarm_type kind, const context::zone& zone);

// The POST body of the alarm as it stands (set or clear), compact JSON:
// obj_uid, mac_address, alarm_name, state, obj_class "TO", ts and ms, x, y, z
// when known, sublocation_uid (null when none), and additional_info with the
// zone's alarm level and uid, the text and the kind ("keep_in", "keep_out").
std::string alarm_request_body(const context::alarm& alarm);
// The same body built as a JSON value and written by the JSON library: the
// reference the direct writer is held to, and its way for texts with a NUL.
std::string alarm_request_body_by_value(const context::alarm& alarm);

}  // namespace zentu
