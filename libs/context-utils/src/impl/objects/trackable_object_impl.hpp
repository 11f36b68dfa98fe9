#pragma once

#include "context_utils/objects/trackable_object.hpp"
#include "objects/model_json.hpp"

namespace zentu::libs::context_utils::objects {

class trackable_object_impl : public trackable_object, private model_json {
public:
    // Nested models refer into the object's JSON copy and live in its cells.
    class node_impl : public node {
    public:
        explicit node_impl(const Json::Value& json) : m_json_value(json) {}
        bool get_responsive() const override;
        const std::string& get_mac_address() const override;

    private:
        const Json::Value& m_json_value;
        lazy_value<bool_value> m_responsive;
        lazy_value<string_value> m_mac_address;
    };

    class position_impl : public position {
    public:
        explicit position_impl(const Json::Value& json) : m_json_value(json) {}
        int get_x() const override;
        int get_y() const override;
        int get_z() const override;
        const std::string& get_sl_id() const override;

    private:
        const Json::Value& m_json_value;
        lazy_value<numeric_value> m_x;
        lazy_value<numeric_value> m_y;
        lazy_value<numeric_value> m_z;
        lazy_value<string_value> m_sl_id;
    };

    class tag_config_impl : public tag_config {
    public:
        class t2t_no_alarm_item_impl : public t2t_no_alarm_item {
        public:
            explicit t2t_no_alarm_item_impl(const Json::Value& json) : m_json_value(json) {}
            const std::string& get_mac() const override;

        private:
            const Json::Value& m_json_value;
            lazy_value<string_value> m_mac;
        };

        class t2t_cfg_impl : public t2t_cfg {
        public:
            explicit t2t_cfg_impl(const Json::Value& json) : m_json_value(json) {}
            const std::optional<std::string>& get_role() const override;
            std::optional<bool> get_alarm_back() const override;
            std::optional<unsigned> get_distance() const override;
            std::optional<unsigned> get_angle() const override;
            std::optional<unsigned> get_delay() const override;
            const std::optional<std::string>& get_pin() const override;
            std::optional<unsigned> get_alert_distance() const override;
            std::optional<unsigned> get_safe_distance() const override;
            std::optional<bool> get_buzzer() const override;
            std::optional<bool> get_haptic() const override;

        private:
            const Json::Value& m_json_value;
            lazy_value<optional_value<string_value>> m_role;
            lazy_value<optional_value<bool_value>> m_alarm_back;
            lazy_value<optional_value<unumeric_value>> m_distance;
            lazy_value<optional_value<unumeric_value>> m_angle;
            lazy_value<optional_value<uint_value>> m_delay;
            lazy_value<optional_value<string_value>> m_pin;
            lazy_value<optional_value<unumeric_value>> m_alert_distance;
            lazy_value<optional_value<unumeric_value>> m_safe_distance;
            lazy_value<optional_value<bool_value>> m_buzzer;
            lazy_value<optional_value<bool_value>> m_haptic;
        };

        explicit tag_config_impl(const Json::Value& json) : m_json_value(json) {}
        bool get_stationary() const override;
        bool for_each_t2t_no_alarm_item(const t2t_no_alarm_item_callback& callback) const override;
        boost::optional<const t2t_cfg&> get_t2t_cfg() const override;

    private:
        const Json::Value& m_json_value;
        lazy_value<bool_value> m_stationary;
        lazy_value<optional_value<array_value<
            object_value<t2t_no_alarm_item, t2t_no_alarm_item_impl>, do_not_sort_values>>>
            m_t2t_no_alarm;
        lazy_value<optional_value<object_value<t2t_cfg, t2t_cfg_impl>>> m_t2t_cfg;
    };

    explicit trackable_object_impl(const json_template<_json_object_tag>& object)
        : model_json(object) {}
    explicit trackable_object_impl(const json_template<_json_notify_tag>& notify)
        : model_json(notify) {}

    const std::string& get_uid() const override;
    const std::string& get_name() const override;
    boost::optional<const node&> get_node() const override;
    const std::string& get_project_uid() const override;
    const std::string& get_company_uid() const override;
    boost::optional<const position&> get_position() const override;
    timestamp get_updated_at() const override;
    const std::optional<std::string>& get_self_zone_uid() const override;
    boost::optional<const std::vector<std::string>&> get_groups() const override;
    int get_default_height() const override;
    const std::string& get_type() const override;
    const std::string& get_category() const override;
    const tag_config& get_tag_config() const override;

private:
    lazy_value<string_value> m_uid;
    lazy_value<string_value> m_name;
    lazy_value<optional_value<object_value<node, node_impl>>> m_node;
    lazy_value<string_value> m_project_uid;
    lazy_value<string_value> m_company_uid;
    lazy_value<optional_value<object_value<position, position_impl>>> m_position;
    lazy_value<optional_value<string_value>> m_self_zone_uid;
    lazy_value<optional_value<array_value<string_value, sort_values>>> m_groups;
    lazy_value<numeric_value> m_default_height;
    lazy_value<string_value> m_type;
    lazy_value<string_value> m_category;
    lazy_value<object_value<tag_config, tag_config_impl>> m_tag_config;
};

}  // namespace zentu::libs::context_utils::objects
