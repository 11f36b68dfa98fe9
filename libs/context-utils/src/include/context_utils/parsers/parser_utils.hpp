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
// whose text begins "context-utils: ".
class parser_utils {
public:
    parser_utils() = delete;

    // Calendar time read by the fixed-position ISO-8601 reader.
    struct iso8601_time {
        std::time_t seconds;
        long milliseconds;
    };

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
    // context-utils: failed to parse timestamp: "<description or key>"
    static std::logic_error make_timestamp_exception(const char* key, const char* description);

    // Reads "YYYY-MM-DDTHH:MM:SS.mmmZ" by character offsets; empty when the
    // text is shorter than 24 characters. Separators are not checked.
    static std::optional<iso8601_time> read_iso8601(const std::string& text);
    // The ISO time as a timestamp, seconds taken as an unsigned 32-bit number.
    static std::optional<timestamp> parse_iso8601(const std::string& text);

    // A lazy range over a JSON array converting each element to text.
    static text_range make_text_range(const Json::Value& array);
};

}  // namespace zentu::libs::context_utils::parsers
