#pragma once

#include <json/value.h>

#include <stdexcept>
#include <string>
#include <string_view>

#include "core/json.hpp"
#include "test_kit/error_of.hpp"

namespace zentu::libs::context_utils::testing {

// Parses a JSON literal of a test; a broken literal is a broken test.
inline Json::Value parse_json(std::string_view text) {
    auto parsed = core::json::try_parse(text);
    if (!parsed.ok)
        throw std::runtime_error("bad test JSON: " + parsed.error);
    return parsed.result;
}

}  // namespace zentu::libs::context_utils::testing
