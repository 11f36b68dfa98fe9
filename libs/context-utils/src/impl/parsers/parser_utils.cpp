#include "context_utils/parsers/parser_utils.hpp"

#include <boost/range/adaptor/transformed.hpp>
#include <cstdlib>

namespace zentu::libs::context_utils::parsers {

namespace {

const char* reported_name(const char* key, const char* description) {
    return description != nullptr ? description : key;
}

long read_decimal(const std::string& text, std::size_t offset) {
    return std::strtol(text.c_str() + offset, nullptr, 10);
}

std::string to_text(const Json::Value& value) {
    return value.asString();
}

}  // namespace

std::optional<std::string> parser_utils::try_get_string(const Json::Value& json, const char* key) {
    const Json::Value& value = json[key];
    if (!value.isString())
        return std::nullopt;
    return value.asString();
}

std::optional<bool> parser_utils::try_get_bool(const Json::Value& json, const char* key) {
    const Json::Value& value = json[key];
    if (!value.isBool())
        return std::nullopt;
    return value.asBool();
}

std::optional<int> parser_utils::try_get_int(const Json::Value& json, const char* key) {
    const Json::Value& value = json[key];
    if (!value.isInt())
        return std::nullopt;
    return value.asInt();
}

std::optional<int> parser_utils::try_get_number(const Json::Value& json, const char* key) {
    const Json::Value& value = json[key];
    if (!value.isNumeric())
        return std::nullopt;
    return value.asInt();
}

std::optional<unsigned> parser_utils::try_get_uint(const Json::Value& json, const char* key) {
    const Json::Value& value = json[key];
    if (!value.isUInt())
        return std::nullopt;
    return value.asUInt();
}

std::optional<timestamp> parser_utils::try_get_iso8601_timestamp(const Json::Value& json,
                                                                 const char* key) {
    const Json::Value& value = json[key];
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
    const Json::Value& value = json[key];
    if (!value.isString())
        throw make_exception(key, description, "a string");
    auto result = parse_iso8601(value.asString());
    if (!result)
        throw make_timestamp_exception(key, description);
    return *result;
}

std::logic_error parser_utils::make_exception(const char* key, const char* description,
                                              const char* type_word) {
    return std::logic_error(std::string("context-utils: \"") + reported_name(key, description) +
                            "\" is not " + type_word + "!");
}

std::logic_error parser_utils::make_timestamp_exception(const char* key, const char* description) {
    return std::logic_error(std::string("context-utils: failed to parse timestamp: \"") +
                            reported_name(key, description) + "\"");
}

std::optional<parser_utils::iso8601_time> parser_utils::read_iso8601(const std::string& text) {
    if (text.size() < 24)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = static_cast<int>(read_decimal(text, 0)) - 1900;
    tm.tm_mon = static_cast<int>(read_decimal(text, 5)) - 1;
    tm.tm_mday = static_cast<int>(read_decimal(text, 8));
    tm.tm_hour = static_cast<int>(read_decimal(text, 11));
    tm.tm_min = static_cast<int>(read_decimal(text, 14));
    tm.tm_sec = static_cast<int>(read_decimal(text, 17));
    tm.tm_isdst = 0;
    return iso8601_time{timegm(&tm), read_decimal(text, 20)};
}

std::optional<timestamp> parser_utils::parse_iso8601(const std::string& text) {
    auto time = read_iso8601(text);
    if (!time)
        return std::nullopt;
    const auto seconds = static_cast<std::uint32_t>(time->seconds);
    return timestamp(
        std::chrono::milliseconds(static_cast<std::int64_t>(seconds) * 1000 + time->milliseconds));
}

text_range parser_utils::make_text_range(const Json::Value& array) {
    return array | boost::adaptors::transformed(&to_text);
}

}  // namespace zentu::libs::context_utils::parsers
