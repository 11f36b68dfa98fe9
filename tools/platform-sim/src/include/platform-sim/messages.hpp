#pragma once

#include <json/value.h>

#include <string>

#include "core/timestamp.hpp"

namespace zentu::platform_sim {

inline constexpr const char* notify_topic = "notify";
inline constexpr const char* zone_event_topic = "zone_event";

// {"object", "action", "plist", "ts", "ms"}
Json::Value make_notify(const std::string& object, const std::string& action,
                        const Json::Value& plist, libs::core::timestamp ts);

// The single wire frame: "#" + topic followed by the compact JSON document.
std::string make_frame(const std::string& topic, const Json::Value& document);

// ISO time of records: "YYYY-MM-DDTHH:MM:SS.mmmZ".
std::string iso_time(libs::core::timestamp ts);

}  // namespace zentu::platform_sim
