#pragma once

#include <json/value.h>

#include <stdexcept>
#include <string>
#include <string_view>

#include "core/exception.hpp"
#include "core/json.hpp"

namespace zentu::libs::context_utils::testing {

// Parses a JSON literal of a test; a broken literal is a broken test.
inline Json::Value parse_json(std::string_view text) {
    auto parsed = core::json::try_parse(text);
    if (!parsed.ok)
        throw std::runtime_error("bad test JSON: " + parsed.error);
    return parsed.result;
}

// The text of the std::logic_error thrown by f, or "no error".
template <typename F>
std::string logic_error_text(F&& f) {
    try {
        f();
    } catch (const std::logic_error& e) {
        return e.what();
    }
    return "no error";
}

// The message of the core::exception thrown by f, or "no error".
template <typename F>
std::string core_error_text(F&& f) {
    try {
        f();
    } catch (const core::exception& e) {
        return e.get_string_error();
    }
    return "no error";
}

}  // namespace zentu::libs::context_utils::testing
