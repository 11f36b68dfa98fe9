#pragma once

#include <json/value.h>

#include <optional>
#include <string>

#include "context/alarm.hpp"
#include "context/alarm_type.hpp"
#include "context/context.hpp"
#include "context/explain.hpp"
#include "context/zone.hpp"

namespace zentu::api {

// The JSON shapes of the operator's API, one per record. The field names are
// the API's (README, "The operator's API"): keep them stable.

Json::Value iso(libs::core::timestamp ts);
Json::Value text_or_null(const std::optional<std::string>& text);
// "keep_in", "keep_out".
const char* kind_name(context::alarm_type kind);

// The value as one line of JSON.
std::string compact(const Json::Value& value);

Json::Value explanation_json(const context::object_explanation& explanation);

// The zone's rule, without the objects inside it.
Json::Value zone_rule_json(const context::zone& zone);

}  // namespace zentu::api
