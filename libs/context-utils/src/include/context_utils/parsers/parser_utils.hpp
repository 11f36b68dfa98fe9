#pragma once

#include <json/value.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>

#include "context_utils/types.hpp"

namespace zentu::libs::context_utils::parsers {

// Field readers shared by the record views. The throwing readers report the
// description, or the key when the description is null, in a std::logic_error
// whose text begins "context-utils: ". No reader lets the JSON library's own
// errors out: a member of a value that is not an object reads as null.
class parser_utils {
public:
    parser_utils() = delete;

    // json[key], or null when json is not an object (the JSON library would throw).
    static const Json::Value& member(const Json::Value& json, const char* key);
    // A number that truncates toward zero into a signed 32-bit integer.
    static std::optional<int> to_int(const Json::Value& value);

    static std::optional<std::string> try_get_string(const Json::Value& json, const char* key);
    static std::optional<bool> try_get_bool(const Json::Value& json, const char* key);
    static std::optional<int> try_get_int(const Json::Value& json, const char* key);
    static std::optional<int> try_get_number(const Json::Value& json, const char* key);
    static std::optional<unsigned> try_get_uint(const Json::Value& json, const char* key);
    static std::optional<timestamp> try_get_iso8601_timestamp(const Json::Value& json,
                                                              const char* key);

    static std::string get_string(const Json::Value& json, const char* key,
                                  const char* description = nullptr);
    static bool get_bool(const Json::Value& json, const char* key,
                         const char* description = nullptr);
    static int get_int(const Json::Value& json, const char* key, const char* description = nullptr);
    static int get_number(const Json::Value& json, const char* key,
                          const char* description = nullptr);
    static unsigned get_uint(const Json::Value& json, const char* key,
                             const char* description = nullptr);
    static timestamp get_iso8601_timestamp(const Json::Value& json, const char* key,
                                           const char* description = nullptr);

    // context-utils: "<description or key>" is not <type word>!
    static std::logic_error make_exception(const char* key, const char* description,
                                           const char* type_word);
    // context-utils: failed to parse timestamp: "<description or key>", then
    // " (<reason>)" when there is one.
    static std::logic_error make_timestamp_exception(const char* key, const char* description,
                                                     const std::string& reason = {});

    // Reads "YYYY-MM-DDTHH:MM:SS.mmmZ" as the platform writes it, with the
    // core's ISO-8601 reader in its fixed-width layout (core::iso_layout):
    // digits at their places, separators not checked, a fraction of 1 to 9
    // digits rounded to milliseconds, at least 24 characters; ranges as
    // core::timestamp::from_calendar. Throws make_timestamp_exception naming
    // the field and the reason.
    static timestamp read_iso8601(const std::string& text, const char* name);
    // The same reading; empty on any failure.
    static std::optional<timestamp> parse_iso8601(const std::string& text);

    // A lazy range over a JSON array converting each element to text.
    static text_range make_text_range(const Json::Value& array);
};

}  // namespace zentu::libs::context_utils::parsers
