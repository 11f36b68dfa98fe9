#pragma once

#include <json/value.h>

#include <istream>
#include <list>
#include <vector>

#include "config/config.hpp"
#include "dictionary_impl.hpp"
#include "value_impl.hpp"

namespace zentu::libs::config {

// Owns every node of a JSON document. Lists keep nodes at fixed addresses, so
// values refer to dictionaries and arrays by reference.
class config_json_impl : public config {
public:
    explicit config_json_impl(std::istream& stream);

    config_json_impl(const config_json_impl&) = delete;
    config_json_impl& operator=(const config_json_impl&) = delete;

    const dictionary& get_root() const override { return m_dictionaries.front(); }

private:
    void process(dictionary_impl& target, const std::string& name, const Json::Value& node);
    value_impl make_value(const Json::Value& node);

    std::list<dictionary_impl> m_dictionaries;
    std::list<std::vector<value_impl>> m_arrays;
};

}  // namespace zentu::libs::config
