#pragma once

#include <json/value.h>

#include <optional>

#include "context_utils/parsers/zone.hpp"

namespace zentu::libs::context_utils::parsers {

// Holds references only; the JSON must outlive the view.
class zone_impl : public zone {
public:
    class point_impl : public point {
    public:
        explicit point_impl(const Json::Value& json) : m_json_value(json) {}
        int get_x() const override;
        int get_y() const override;

    private:
        const Json::Value& m_json_value;
    };

    class trackable_in_zone_impl : public trackable_in_zone {
    public:
        explicit trackable_in_zone_impl(const Json::Value& json) : m_json_value(json) {}
        std::string get_uid() const override;
        int get_x() const override;
        int get_y() const override;
        int get_z() const override;
        timestamp get_time() const override;

    private:
        const Json::Value& m_json_value;
    };

    // From a REST list element: the time comes from "updated_at".
    explicit zone_impl(const Json::Value& json) : m_json_value(json) {}
    // From a notification: the time comes from the envelope's "ts" and "ms".
    zone_impl(const Json::Value& json, const Json::Value& notify)
        : m_json_value(json), m_json_notify(notify) {}

    std::string get_uid() const override;
    std::string get_project_uid() const override;
    std::string get_name() const override;
    std::optional<std::string> get_sublocation_uid() const override;
    bool get_active() const override;
    std::string get_shape() const override;
    std::string get_zone_type_name() const override;
    unsigned get_zone_alarm_level() const override;
    bool get_default_allowed() const override;
    int get_priority() const override;
    std::uint32_t get_ts() const override;
    std::uint32_t get_ms() const override;
    std::optional<std::string> get_trackable_object_uid() const override;
    std::optional<int> get_radius() const override;
    bool for_each_point(const point_callback& callback) const override;
    zone_exceptions get_zone_exceptions() const override;
    zone_exceptions_groups get_zone_exceptions_groups() const override;
    bool for_each_trackable_in_zone(const trackable_in_zone_callback& callback) const override;
    bool has_trackables_in_zone() const override;

private:
    const Json::Value& m_json_value;
    std::optional<std::reference_wrapper<const Json::Value>> m_json_notify;
};

}  // namespace zentu::libs::context_utils::parsers
