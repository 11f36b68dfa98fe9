#pragma once

#include <json/value.h>

#include <string>

namespace zentu::platform_sim {

// A large synthetic site from "objects=N,zones=N,keep_in=N,keep_out=N,projects=N,alarms=N"
// (every key optional). Deterministic: the same text gives the same site.
// Throws request_error (400) for an unknown key or a bad number.
Json::Value generate_site(const std::string& layout);

}  // namespace zentu::platform_sim
