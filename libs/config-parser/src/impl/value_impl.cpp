#include "value_impl.hpp"

#include <cmath>

namespace zentu::libs::config {

std::string json_kind(const value& node) {
    if (node.as_object())
        return "an object";
    if (node.as_array())
        return "an array";
    if (node.as_bool())
        return "a boolean";
    if (node.as_string())
        return "a string";
    if (node.as_int())
        return "an integer";
    if (const auto number = node.as_double()) {
        if (std::trunc(*number) != *number)
            return "a fractional number";
        return "a number beyond the 32-bit integer range";
    }
    return "null";
}

boost::optional<bool> value_impl::as_bool() const {
    const Json::Value* json = scalar();
    if (json && json->isBool())
        return json->asBool();
    return boost::none;
}

boost::optional<int> value_impl::as_int() const {
    // isInt() also accepts reals without a fraction (10.0) but, unlike
    // isIntegral(), rejects numbers out of int range, where asInt() throws.
    const Json::Value* json = scalar();
    if (json && json->isInt())
        return json->asInt();
    return boost::none;
}

boost::optional<double> value_impl::as_double() const {
    const Json::Value* json = scalar();
    if (json && json->isNumeric())
        return json->asDouble();
    return boost::none;
}

boost::optional<std::string> value_impl::as_string() const {
    const Json::Value* json = scalar();
    if (json && json->isString())
        return json->asString();
    return boost::none;
}

boost::optional<const dictionary&> value_impl::as_object() const {
    if (const auto* object = boost::get<std::reference_wrapper<const dictionary>>(&m_value))
        return object->get();
    return boost::none;
}

boost::optional<value_range> value_impl::as_array() const {
    if (const auto* array = boost::get<value_range>(&m_value))
        return *array;
    return boost::none;
}

}  // namespace zentu::libs::config
