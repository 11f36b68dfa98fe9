#pragma once

#include <cstdint>
#include <string_view>

namespace zentu::context {

enum class zone_type : std::int32_t {
    KEEP_IN = 0,
    KEEP_OUT = 1,
    INFORM = 2,
    HEIGHT_RESTRICTION = 3,
    MAXIMUM_OCCUPANCY = 4,
    ONE_WAY = 5,
    STOP_ZONE = 6,
    CUSTOM = 7,
    UNKNOWN = 8,
    _count = 9
};

enum class zone_shape : std::int32_t { POLYGON = 0, CIRCLE = 1 };

// Throws exception "Unknown enumeration type" for a value outside the enumeration.
std::string_view to_string(zone_type type);
std::string_view to_string(zone_shape shape);

}  // namespace zentu::context
