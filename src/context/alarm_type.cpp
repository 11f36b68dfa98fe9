#include "context/alarm_type.hpp"

#include "core/exception.hpp"

namespace zentu::context {

zone_type to_zone_type(alarm_type type) {
    switch (type) {
        case alarm_type::ki:
            return zone_type::KEEP_IN;
        case alarm_type::ko:
            return zone_type::KEEP_OUT;
        case alarm_type::_count:
            break;
    }
    ZENTU_THROW("Unknown enumeration type");
}

std::string_view to_string(alarm_type type) {
    return type == alarm_type::ki ? "ki" : "ko";
}

}  // namespace zentu::context
