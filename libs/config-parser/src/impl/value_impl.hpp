#pragma once

#include <json/value.h>

#include <boost/variant.hpp>
#include <functional>

#include "config/dictionary.hpp"
#include "config/value.hpp"

namespace zentu::libs::config {

// A document node: a jsoncpp scalar, a reference to a dictionary owned by the
// config, or a range over an array vector owned by the config.
class value_impl : public value {
public:
    explicit value_impl(Json::Value scalar) : m_value(std::move(scalar)) {}
    explicit value_impl(const dictionary& object) : m_value(std::cref(object)) {}
    explicit value_impl(value_range array) : m_value(std::move(array)) {}

    boost::optional<bool> as_bool() const override;
    boost::optional<int> as_int() const override;
    boost::optional<double> as_double() const override;
    boost::optional<std::string> as_string() const override;
    boost::optional<const dictionary&> as_object() const override;
    boost::optional<value_range> as_array() const override;

private:
    const Json::Value* scalar() const { return boost::get<Json::Value>(&m_value); }

    boost::variant<Json::Value, std::reference_wrapper<const dictionary>, value_range> m_value;
};

}  // namespace zentu::libs::config
