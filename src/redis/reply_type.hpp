#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace zentu::redis {

// hiredis reply type codes, plus UNKNOWN for anything else.
enum class reply_type : std::int32_t {
    STRING = 1,
    ARRAY = 2,
    INTEGER = 3,
    NIL = 4,
    STATUS = 5,
    ERROR = 6,
    UNKNOWN = 7,
};

extern const std::map<reply_type, std::string> reply_types_strings;

// Throws std::out_of_range for a value outside the enumeration.
const std::string& to_string(reply_type type);

}  // namespace zentu::redis
