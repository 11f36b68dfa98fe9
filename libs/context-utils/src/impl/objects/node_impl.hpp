#pragma once

#include "context_utils/objects/node.hpp"
#include "objects/model_json.hpp"

namespace zentu::libs::context_utils::objects {

class node_impl : public node, private model_json {
public:
    class status_impl : public status {
    public:
        explicit status_impl(const Json::Value& json) : m_json_value(json) {}
        bool get_ext_pow() const override;

    private:
        const Json::Value& m_json_value;
        lazy_value<bool_value> m_ext_pow;
    };

    explicit node_impl(const json_template<_json_object_tag>& object) : model_json(object) {}
    explicit node_impl(const json_template<_json_notify_tag>& notify) : model_json(notify) {}

    const std::string& get_uid() const override;
    const std::string& get_mac_address() const override;
    timestamp get_updated_at() const override;
    boost::optional<const status&> get_status() const override;

private:
    lazy_value<string_value> m_uid;
    lazy_value<string_value> m_mac_address;
    lazy_value<optional_value<object_value<status, status_impl>>> m_status;
};

}  // namespace zentu::libs::context_utils::objects
