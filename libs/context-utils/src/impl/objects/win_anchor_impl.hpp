#pragma once

#include "context_utils/objects/win_anchor.hpp"
#include "objects/model_json.hpp"

namespace zentu::libs::context_utils::objects {

class win_anchor_impl : public win_anchor, private model_json {
public:
    class node_impl : public node {
    public:
        explicit node_impl(const Json::Value& json) : m_json_value(json) {}
        bool get_responsive() const override;
        const std::string& get_mac_address() const override;
        unsigned get_node_id() const override;

    private:
        const Json::Value& m_json_value;
        lazy_value<bool_value> m_responsive;
        lazy_value<string_value> m_mac_address;
        lazy_value<uint_value> m_node_id;
    };

    class position_impl : public position {
    public:
        explicit position_impl(const Json::Value& json) : m_json_value(json) {}
        int get_x() const override;
        int get_y() const override;
        int get_z() const override;

    private:
        const Json::Value& m_json_value;
        lazy_value<numeric_value> m_x;
        lazy_value<numeric_value> m_y;
        lazy_value<numeric_value> m_z;
    };

    explicit win_anchor_impl(const json_template<_json_object_tag>& object) : model_json(object) {}
    explicit win_anchor_impl(const json_template<_json_notify_tag>& notify) : model_json(notify) {}

    const std::string& get_uid() const override;
    const std::string& get_name() const override;
    boost::optional<const node&> get_node() const override;
    const std::string& get_sublocation_uid() const override;
    const std::string& get_project_uid() const override;
    const std::string& get_company_uid() const override;
    boost::optional<const position&> get_position() const override;
    timestamp get_updated_at() const override;

private:
    lazy_value<string_value> m_uid;
    lazy_value<string_value> m_name;
    lazy_value<optional_value<object_value<node, node_impl>>> m_node;
    lazy_value<string_value> m_sublocation_uid;
    lazy_value<string_value> m_project_uid;
    lazy_value<string_value> m_company_uid;
    lazy_value<optional_value<object_value<position, position_impl>>> m_position;
};

}  // namespace zentu::libs::context_utils::objects
