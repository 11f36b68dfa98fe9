#pragma once

#include <json/value.h>

#include <optional>
#include <string>

namespace zentu::platform_sim {

// Checks a POST "/api/private/alarms/" body against the alarm request layout.
// Returns the reason of the first mismatch, or nothing for a valid request.
std::optional<std::string> validate_alarm_request(const Json::Value& body);

// "<obj_uid>:<zone_uid>" of a valid request or of an alarm record.
std::string alarm_key(const std::string& obj_uid, const std::string& zone_uid);

}  // namespace zentu::platform_sim
