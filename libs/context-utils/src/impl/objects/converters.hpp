#pragma once

#include <json/value.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "context_utils/types.hpp"
#include "core/exception.hpp"

namespace zentu::libs::context_utils::objects {

// Converters turn one JSON member into a model field. Each offers
// accepts(member) (is the JSON type right) and convert(member, name) (called
// only for accepted members), and names its type for the error text.

struct string_value {
    using value_type = std::string;
    static constexpr const char* type_word = "a string";
    static bool accepts(const Json::Value& v) { return v.isString(); }
    static value_type convert(const Json::Value& v, const char*) { return v.asString(); }
};

struct bool_value {
    using value_type = bool;
    static constexpr const char* type_word = "a bool";
    static bool accepts(const Json::Value& v) { return v.isBool(); }
    static value_type convert(const Json::Value& v, const char*) { return v.asBool(); }
};

struct int_value {
    using value_type = int;
    static constexpr const char* type_word = "an int";
    static bool accepts(const Json::Value& v) { return v.isInt(); }
    static value_type convert(const Json::Value& v, const char*) { return v.asInt(); }
};

// A number that fits the 32-bit field after truncation toward zero (the
// JSON library's own conversion would throw its error for any other).
inline bool fits_int(const Json::Value& v) {
    return v.isNumeric() && v.asDouble() > -2147483649.0 && v.asDouble() < 2147483648.0;
}
inline bool fits_unsigned_or_int(const Json::Value& v) {
    return v.isUInt() || fits_int(v);
}

// Any number within 32 bits; a real is truncated toward zero.
struct numeric_value {
    using value_type = int;
    static constexpr const char* type_word = "a number";
    static bool accepts(const Json::Value& v) { return fits_int(v); }
    static value_type convert(const Json::Value& v, const char*) {
        return v.isInt() ? v.asInt() : static_cast<int>(std::trunc(v.asDouble()));
    }
};

struct uint_value {
    using value_type = unsigned;
    static constexpr const char* type_word = "an unsigned int";
    static bool accepts(const Json::Value& v) { return v.isUInt(); }
    static value_type convert(const Json::Value& v, const char*) { return v.asUInt(); }
};

// Any number within 32 bits read as unsigned; a real is truncated toward zero.
struct unumeric_value {
    using value_type = unsigned;
    static constexpr const char* type_word = "a number";
    static bool accepts(const Json::Value& v) { return fits_unsigned_or_int(v); }
    static value_type convert(const Json::Value& v, const char* name) {
        return v.isUInt() ? v.asUInt() : static_cast<unsigned>(numeric_value::convert(v, name));
    }
};

// "YYYY-MM-DD?hh:mm:ss[.f]", read as UTC and range checked (core::timestamp).
struct timestamp_value {
    using value_type = timestamp;
    static constexpr const char* type_word = "a string";
    static bool accepts(const Json::Value& v) { return v.isString(); }
    static value_type convert(const Json::Value& v, const char* name) {
        const std::string prefix = std::string("failed to parse timestamp: \"") + name + "\"";
        try {
            return timestamp(std::string_view(v.asString()));
        } catch (const core::invalid_time& e) {
            ZENTU_THROW(e.reason().empty() ? prefix : prefix + " (" + e.reason() + ")");
        }
    }
};

// A nested model over the member; it refers into the JSON it was given.
template <typename I, typename Impl>
struct object_value {
    using value_type = Impl;
    static constexpr const char* type_word = "an object";
    static bool accepts(const Json::Value& v) { return v.isObject(); }
    static value_type convert(const Json::Value& v, const char*) { return Impl(v); }
};

struct sort_values {};
struct do_not_sort_values {};

// Elements that E does not accept are skipped.
template <typename E, typename Order>
struct array_value {
    using value_type = std::vector<typename E::value_type>;
    static constexpr const char* type_word = "an array";
    static bool accepts(const Json::Value& v) { return v.isArray(); }
    static value_type convert(const Json::Value& v, const char* name) {
        value_type result;
        for (const Json::Value& element : v) {
            if (E::accepts(element))
                result.push_back(E::convert(element, name));
        }
        if constexpr (std::is_same_v<Order, sort_values>)
            std::sort(result.begin(), result.end());
        return result;
    }
};

// Absent (never an error) when the member is missing or of another type.
template <typename C>
struct optional_value {
    using value_type = std::optional<typename C::value_type>;
    static constexpr const char* type_word = C::type_word;
    static bool accepts(const Json::Value&) { return true; }
    static value_type convert(const Json::Value& v, const char* name) {
        if (!C::accepts(v))
            return std::nullopt;
        return C::convert(v, name);
    }
};

// The member, or null when the holder is not an object (a malformed list
// element then fails the type test instead of the JSON library's lookup).
inline const Json::Value& member_of(const Json::Value& json, const char* key) {
    if (!json.isObject())
        return Json::Value::nullSingleton();
    return json[key];
}

// Converts json[key] with C; a rejected member raises
// "\"<name>\" is not <type word>!".
template <typename C>
typename C::value_type convert_member(const Json::Value& json, const char* key, const char* name) {
    const Json::Value& member = member_of(json, key);
    if (!C::accepts(member))
        ZENTU_THROW(std::string("\"") + name + "\" is not " + C::type_word + "!");
    return C::convert(member, name);
}

}  // namespace zentu::libs::context_utils::objects
