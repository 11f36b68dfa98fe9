#pragma once

#include <json/value.h>

#include <functional>
#include <optional>

#include "context_utils/parsers/trackable_object.hpp"

namespace zentu::libs::context_utils::parsers {

// Holds references only (the tag configuration views refer to the same
// record); the JSON must outlive the view. Construction reads nothing, so a
// malformed record fails only in its getters, inside the caller's error guard.
class trackable_object_impl : public trackable_object {
public:
    class tag_config_impl : public tag_config {
    public:
        // Over the record; looks "tag_config" / "t2t_cfg" up at each call.
        class t2t_cfg_impl : public t2t_cfg {
        public:
            explicit t2t_cfg_impl(const Json::Value& record) : m_record(record) {}
            std::optional<std::string> get_role() const override;
            std::optional<bool> get_alarm_back() const override;
            std::optional<unsigned> get_distance() const override;
            std::optional<unsigned> get_angle() const override;
            std::optional<unsigned> get_delay() const override;
            std::optional<std::string> get_pin() const override;
            std::optional<unsigned> get_alert_distance() const override;
            std::optional<unsigned> get_safe_distance() const override;
            std::optional<bool> get_buzzer() const override;
            std::optional<bool> get_haptic() const override;
            // "tag_config" / "t2t_cfg", null when either is no object.
            const Json::Value& json() const;

        private:
            const Json::Value& m_record;
        };

        // Over the record; looks "tag_config" up at each call.
        explicit tag_config_impl(const Json::Value& record) : m_record(record), m_t2t_cfg(record) {}
        bool get_stationary() const override;
        std::optional<text_range> get_t2t_no_alarm() const override;
        boost::optional<const t2t_cfg&> get_t2t_cfg() const override;

    private:
        const Json::Value& json() const;

        const Json::Value& m_record;
        t2t_cfg_impl m_t2t_cfg;
    };

    explicit trackable_object_impl(const Json::Value& json);
    trackable_object_impl(const Json::Value& json, const Json::Value& notify);

    std::string get_uid() const override;
    std::string get_name() const override;
    std::optional<bool> get_responsive() const override;
    std::optional<std::string> get_mac_address() const override;
    std::string get_project_uid() const override;
    std::optional<std::string> get_sublocation_uid() const override;
    std::optional<int> get_x() const override;
    std::optional<int> get_y() const override;
    std::optional<int> get_z() const override;
    std::uint32_t get_ts() const override;
    std::uint32_t get_ms() const override;
    std::optional<std::string> get_self_zone_uid() const override;
    std::optional<text_range> get_groups() const override;
    int get_default_height() const override;
    std::string get_type() const override;
    std::string get_category() const override;
    const tag_config& get_tag_config() const override;

private:
    const Json::Value& m_json_value;
    std::optional<std::reference_wrapper<const Json::Value>> m_json_notify;
    tag_config_impl m_tag_config;
};

}  // namespace zentu::libs::context_utils::parsers
