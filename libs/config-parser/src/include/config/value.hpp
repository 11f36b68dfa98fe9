#pragma once

#include <boost/optional.hpp>
#include <boost/range/any_range.hpp>
#include <cstddef>
#include <string>
#include <type_traits>

namespace zentu::libs::config {

class dictionary;
class value;

using value_range =
    boost::any_range<const value, boost::bidirectional_traversal_tag, const value&, std::ptrdiff_t>;

// One node of a document: a scalar, an object or an array.
// Read-only; lives as long as the config that built it.
class value {
public:
    virtual ~value() = default;

    virtual boost::optional<bool> as_bool() const = 0;
    // Only integral numbers that fit into an int.
    virtual boost::optional<int> as_int() const = 0;
    virtual boost::optional<double> as_double() const = 0;
    // Only JSON strings; numbers are not converted.
    virtual boost::optional<std::string> as_string() const = 0;
    virtual boost::optional<const dictionary&> as_object() const = 0;
    virtual boost::optional<value_range> as_array() const = 0;
};

// The JSON kind of a value with an article, for error messages: "a string",
// "an integer", "a fractional number", "null", ...
std::string json_kind(const value& node);

// The JSON kind a typed read expects, worded like json_kind.
template <typename T>
std::string expected_json_kind() {
    if constexpr (std::is_same_v<T, int>)
        return "an integer";
    else if constexpr (std::is_same_v<T, bool>)
        return "a boolean";
    else if constexpr (std::is_same_v<T, double>)
        return "a number";
    else if constexpr (std::is_same_v<T, std::string>)
        return "a string";
    else
        return "an object";
}

}  // namespace zentu::libs::config
