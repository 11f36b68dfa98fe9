#include "config_json_impl.hpp"

#include <json/reader.h>

#include <stdexcept>

namespace zentu::libs::config {

template <>
config::ptr config::create<type::json>(std::istream& stream) {
    return std::make_unique<config_json_impl>(stream);
}

config_json_impl::config_json_impl(std::istream& stream) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    Json::Value document;
    std::string errors;
    bool parsed = false;
    try {
        parsed = Json::parseFromStream(builder, stream, &document, &errors);
    } catch (const Json::Exception& e) {
        // Thrown rather than reported for nesting deeper than 1000 levels.
        errors = e.what();
    }
    if (!parsed)
        throw std::runtime_error("Cannot parse json: " + errors);

    dictionary_impl& root = m_dictionaries.emplace_back();
    // A document whose top level is not an object has no fields.
    if (!document.isObject())
        return;
    for (const std::string& name : document.getMemberNames())
        process(root, name, document[name]);
}

void config_json_impl::process(dictionary_impl& target, const std::string& name,
                               const Json::Value& node) {
    target.add_value(name, make_value(node));
}

value_impl config_json_impl::make_value(const Json::Value& node) {
    if (node.isObject()) {
        dictionary_impl& object = m_dictionaries.emplace_back();
        for (const std::string& name : node.getMemberNames())
            process(object, name, node[name]);
        return value_impl(static_cast<const dictionary&>(object));
    }
    if (node.isArray()) {
        std::vector<value_impl>& elements = m_arrays.emplace_back();
        elements.reserve(node.size());
        for (const Json::Value& element : node)
            elements.push_back(make_value(element));
        // The vector is complete and never touched again, so the range stays valid.
        return value_impl(value_range(elements));
    }
    return value_impl(node);
}

}  // namespace zentu::libs::config
