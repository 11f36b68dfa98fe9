#pragma once

#include <boost/optional.hpp>
#include <string>
#include <type_traits>
#include <vector>

#include "config/value.hpp"

namespace zentu::libs::config {

// A JSON object of a document. Read-only; lives as long as its config.
class dictionary {
public:
    virtual ~dictionary() = default;

    virtual boost::optional<const value&> get_value(const std::string& key) const = 0;
    virtual std::vector<std::string> get_keys() const = 0;

    // T is int, bool, std::string or const dictionary&; empty when the key is
    // absent or holds another kind of value.
    template <typename T>
    boost::optional<T> get(const std::string& key) const {
        const boost::optional<const value&> found = get_value(key);
        if (!found)
            return boost::none;
        if constexpr (std::is_same_v<T, int>) {
            return found->as_int();
        } else if constexpr (std::is_same_v<T, bool>) {
            return found->as_bool();
        } else if constexpr (std::is_same_v<T, double>) {
            return found->as_double();
        } else if constexpr (std::is_same_v<T, std::string>) {
            return found->as_string();
        } else {
            static_assert(std::is_same_v<T, const dictionary&>, "unsupported field type");
            return found->as_object();
        }
    }
};

}  // namespace zentu::libs::config
