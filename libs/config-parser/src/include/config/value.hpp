#pragma once

#include <boost/optional.hpp>
#include <boost/range/any_range.hpp>
#include <cstddef>
#include <string>

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

}  // namespace zentu::libs::config
