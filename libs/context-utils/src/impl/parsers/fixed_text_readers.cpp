#include "fixed_text_readers.hpp"

#include <stdexcept>

namespace zentu::libs::context_utils::parsers::detail {

std::string get_string(const Json::Value& json, const char* key, const char* error) {
    const Json::Value& value = json[key];
    if (!value.isString())
        throw std::logic_error(error);
    return value.asString();
}

int get_int(const Json::Value& json, const char* key, const char* error) {
    const Json::Value& value = json[key];
    if (!value.isInt())
        throw std::logic_error(error);
    return value.asInt();
}

std::int64_t get_envelope_milliseconds(const Json::Value& notify) {
    const std::int64_t ts = get_int(notify, "ts", "context-utils: ts is not an int!");
    const std::int64_t ms = get_int(notify, "ms", "context-utils: ms is not an int!");
    return ts * 1000 + ms;
}

}  // namespace zentu::libs::context_utils::parsers::detail
