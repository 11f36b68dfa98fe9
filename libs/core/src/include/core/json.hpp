#pragma once

#include <json/value.h>

#include <string>
#include <string_view>

namespace zentu::libs::core::json {

struct parse_result {
    Json::Value result;
    bool ok = false;
    std::string error;
};

// Never throws for malformed input; comments are accepted and dropped.
parse_result try_parse(std::string_view text);
// Compact text: no line breaks, no indentation.
std::string to_string(const Json::Value& value);

}  // namespace zentu::libs::core::json
