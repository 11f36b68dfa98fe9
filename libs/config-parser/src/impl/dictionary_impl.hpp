#pragma once

#include <map>

#include "config/dictionary.hpp"
#include "value_impl.hpp"

namespace zentu::libs::config {

class dictionary_impl : public dictionary {
public:
    // Keeps the first value when the name is already present.
    void add_value(const std::string& name, value_impl value);

    boost::optional<const value&> get_value(const std::string& key) const override;
    std::vector<std::string> get_keys() const override;

private:
    std::map<std::string, value_impl> m_data;
};

}  // namespace zentu::libs::config
