#pragma once

#include <json/value.h>

#include <functional>
#include <optional>

#include "context_utils/parsers/alarm.hpp"

namespace zentu::libs::context_utils::parsers {

// Holds references only; the JSON must outlive the view.
class alarm_impl : public alarm {
public:
    explicit alarm_impl(const Json::Value& json) : m_json_value(json) {}
    alarm_impl(const Json::Value& json, const Json::Value& notify)
        : m_json_value(json), m_json_notify(notify) {}

    std::string get_uid() const override;
    std::string get_mac_address() const override;
    std::string get_alarm_name() const override;
    std::string get_text() const override;
    std::optional<unsigned> get_zone_alarm_level() const override;
    std::optional<std::string> get_zone_violation_type() const override;
    std::optional<std::string> get_zone_uid() const override;
    std::uint32_t get_ts() const override;
    std::uint32_t get_ms() const override;
    std::optional<std::string> get_sublocation_uid() const override;
    std::optional<int> get_x() const override;
    std::optional<int> get_y() const override;
    std::optional<int> get_z() const override;
    std::string get_obj_uid() const override;

private:
    const Json::Value& m_json_value;
    std::optional<std::reference_wrapper<const Json::Value>> m_json_notify;
};

}  // namespace zentu::libs::context_utils::parsers
