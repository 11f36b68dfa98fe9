#include "context_utils/parsers/parser_utils.hpp"

#include <boost/range/adaptor/transformed.hpp>
#include <cmath>

#include "core/timestamp.hpp"

namespace zentu::libs::context_utils::parsers {

namespace {

const char* reported_name(const char* key, const char* description) {
    return description != nullptr ? description : key;
}

// Lists of texts come from the platform; an array or object element would make
// the JSON library throw its own error.
std::string to_text(const Json::Value& value) {
    if (value.isArray() || value.isObject())
        throw std::logic_error("context-utils: a list element is not a text!");
    return value.asString();
}

}  // namespace

const Json::Value& parser_utils::member(const Json::Value& json, const char* key) {
    if (!json.isObject())
        return Json::Value::nullSingleton();
    return json[key];
}

std::optional<int> parser_utils::to_int(const Json::Value& value) {
    if (value.isInt())
        return value.asInt();
    if (!value.isNumeric())
        return std::nullopt;
    const double number = value.asDouble();
    if (!(number > -2147483649.0 && number < 2147483648.0))
        return std::nullopt;
    return static_cast<int>(std::trunc(number));
}

std::optional<std::string> parser_utils::try_get_string(const Json::Value& json, const char* key) {
    const Json::Value& value = member(json, key);
    if (!value.isString())
        return std::nullopt;
    return value.asString();
}

std::optional<bool> parser_utils::try_get_bool(const Json::Value& json, const char* key) {
    const Json::Value& value = member(json, key);
    if (!value.isBool())
        return std::nullopt;
    return value.asBool();
}

std::optional<int> parser_utils::try_get_int(const Json::Value& json, const char* key) {
    const Json::Value& value = member(json, key);
    if (!value.isInt())
        return std::nullopt;
    return value.asInt();
}

std::optional<int> parser_utils::try_get_number(const Json::Value& json, const char* key) {
    const Json::Value& value = member(json, key);
    return to_int(value);
}

std::optional<unsigned> parser_utils::try_get_uint(const Json::Value& json, const char* key) {
    const Json::Value& value = member(json, key);
    if (!value.isUInt())
        return std::nullopt;
    return value.asUInt();
}

std::optional<timestamp> parser_utils::try_get_iso8601_timestamp(const Json::Value& json,
                                                                 const char* key) {
    const Json::Value& value = member(json, key);
    if (!value.isString())
        return std::nullopt;
    return parse_iso8601(value.asString());
}

std::string parser_utils::get_string(const Json::Value& json, const char* key,
                                     const char* description) {
    auto value = try_get_string(json, key);
    if (!value)
        throw make_exception(key, description, "a string");
    return std::move(*value);
}

bool parser_utils::get_bool(const Json::Value& json, const char* key, const char* description) {
    auto value = try_get_bool(json, key);
    if (!value)
        throw make_exception(key, description, "a bool");
    return *value;
}

int parser_utils::get_int(const Json::Value& json, const char* key, const char* description) {
    auto value = try_get_int(json, key);
    if (!value)
        throw make_exception(key, description, "an int");
    return *value;
}

int parser_utils::get_number(const Json::Value& json, const char* key, const char* description) {
    auto value = try_get_number(json, key);
    if (!value)
        throw make_exception(key, description, "a number");
    return *value;
}

unsigned parser_utils::get_uint(const Json::Value& json, const char* key, const char* description) {
    auto value = try_get_uint(json, key);
    if (!value)
        throw make_exception(key, description, "an uint");
    return *value;
}

timestamp parser_utils::get_iso8601_timestamp(const Json::Value& json, const char* key,
                                              const char* description) {
    const Json::Value& value = member(json, key);
    if (!value.isString())
        throw make_exception(key, description, "a string");
    return read_iso8601(value.asString(), reported_name(key, description));
}

std::logic_error parser_utils::make_exception(const char* key, const char* description,
                                              const char* type_word) {
    return std::logic_error(std::string("context-utils: \"") + reported_name(key, description) +
                            "\" is not " + type_word + "!");
}

std::logic_error parser_utils::make_timestamp_exception(const char* key, const char* description,
                                                        const std::string& reason) {
    return std::logic_error(std::string("context-utils: failed to parse timestamp: \"") +
                            reported_name(key, description) + "\"" +
                            (reason.empty() ? std::string() : " (" + reason + ")"));
}

timestamp parser_utils::read_iso8601(const std::string& text, const char* name) {
    auto reading = timestamp::read_iso_8601(text, core::iso_layout::fixed_width);
    if (!reading.time)
        throw make_timestamp_exception(name, nullptr, reading.reason);
    return *reading.time;
}

std::optional<timestamp> parser_utils::parse_iso8601(const std::string& text) {
    return timestamp::read_iso_8601(text, core::iso_layout::fixed_width).time;
}

text_range parser_utils::make_text_range(const Json::Value& array) {
    return array | boost::adaptors::transformed(&to_text);
}

}  // namespace zentu::libs::context_utils::parsers
