#include "context/zone_type.hpp"

#include "core/exception.hpp"

namespace zentu::context {

std::string_view to_string(zone_type type) {
    switch (type) {
        case zone_type::KEEP_IN:
            return "keep_in";
        case zone_type::KEEP_OUT:
            return "keep_out";
        case zone_type::INFORM:
            return "information";
        case zone_type::HEIGHT_RESTRICTION:
            return "height_restriction";
        case zone_type::MAXIMUM_OCCUPANCY:
            return "maximum_occupancy";
        case zone_type::ONE_WAY:
            return "one_way";
        case zone_type::STOP_ZONE:
            return "stop_zone";
        case zone_type::CUSTOM:
            return "custom";
        case zone_type::UNKNOWN:
            return "UNKNOWN";
        case zone_type::_count:
            break;
    }
    ZENTU_THROW("Unknown enumeration type");
}

std::string_view to_string(zone_shape shape) {
    return shape == zone_shape::POLYGON ? "POLYGON" : "CIRCLE";
}

}  // namespace zentu::context
