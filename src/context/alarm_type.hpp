#pragma once

#include <cstdint>
#include <string_view>

#include "context/zone_type.hpp"

namespace zentu::context {

enum class alarm_type : std::int32_t { ki = 0, ko = 1, _count = 2 };

// ki -> KEEP_IN, ko -> KEEP_OUT; throws exception "Unknown enumeration type" otherwise.
zone_type to_zone_type(alarm_type type);
// "ki" for ki, "ko" otherwise.
std::string_view to_string(alarm_type type);

}  // namespace zentu::context
