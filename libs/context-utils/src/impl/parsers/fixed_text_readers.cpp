#include "fixed_text_readers.hpp"

#include <stdexcept>

#include "context_utils/parsers/parser_utils.hpp"

namespace zentu::libs::context_utils::parsers::detail {

std::string get_string(const Json::Value& json, const char* key, const char* error) {
    const Json::Value& value = parser_utils::member(json, key);
    if (!value.isString())
        throw std::logic_error(error);
    return value.asString();
}

int get_int(const Json::Value& json, const char* key, const char* error) {
    const Json::Value& value = parser_utils::member(json, key);
    if (!value.isInt())
        throw std::logic_error(error);
    return value.asInt();
}

timestamp checked_time(std::int64_t seconds, std::int64_t milliseconds, const char* what) {
    try {
        return timestamp::from_parts(seconds, milliseconds);
    } catch (const core::invalid_time& e) {
        throw std::logic_error(std::string("context-utils: ") + what +
                               " is invalid: " + e.reason());
    }
}

timestamp get_envelope_time(const Json::Value& notify) {
    // "ts" is looked at first, so its error wins when both are bad.
    const std::uint32_t seconds = get_envelope_seconds(notify);
    return checked_time(seconds, get_envelope_milliseconds(notify), "envelope time");
}

std::uint32_t get_envelope_seconds(const Json::Value& notify) {
    const int ts = get_int(notify, "ts", "context-utils: ts is not an int!");
    return static_cast<std::uint32_t>(checked_time(ts, 0, "envelope time").get_ts());
}

std::uint32_t get_envelope_milliseconds(const Json::Value& notify) {
    const int ms = get_int(notify, "ms", "context-utils: ms is not an int!");
    return checked_time(0, ms, "envelope time").get_ms();
}

}  // namespace zentu::libs::context_utils::parsers::detail
