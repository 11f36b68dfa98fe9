#include "context_utils/parsers/parser_utils.hpp"
#include "parsers/trackable_object_impl.hpp"
#include "record_time.hpp"

namespace zentu::libs::context_utils::parsers {

namespace {

using t2t_cfg_impl = trackable_object_impl::tag_config_impl::t2t_cfg_impl;

// A number read as a signed 32-bit integer and reinterpreted as unsigned.
std::optional<unsigned> try_get_number_as_unsigned(const Json::Value& json, const char* key) {
    auto value = parser_utils::try_get_number(json, key);
    if (!value)
        return std::nullopt;
    return static_cast<unsigned>(*value);
}

const Json::Value& tag_config_of(const Json::Value& record) {
    return parser_utils::member(record, "tag_config");
}

const Json::Value& position_of(const Json::Value& record) {
    return parser_utils::member(record, "position");
}

const Json::Value& node_of(const Json::Value& record) {
    return parser_utils::member(record, "node");
}

}  // namespace

const Json::Value& t2t_cfg_impl::json() const {
    return parser_utils::member(tag_config_of(m_record), "t2t_cfg");
}

std::optional<std::string> t2t_cfg_impl::get_role() const {
    return parser_utils::try_get_string(json(), "role");
}

std::optional<bool> t2t_cfg_impl::get_alarm_back() const {
    return parser_utils::try_get_bool(json(), "alarm_back");
}

std::optional<unsigned> t2t_cfg_impl::get_distance() const {
    return try_get_number_as_unsigned(json(), "distance");
}

std::optional<unsigned> t2t_cfg_impl::get_angle() const {
    return try_get_number_as_unsigned(json(), "angle");
}

std::optional<unsigned> t2t_cfg_impl::get_delay() const {
    return parser_utils::try_get_uint(json(), "delay");
}

std::optional<std::string> t2t_cfg_impl::get_pin() const {
    return parser_utils::try_get_string(json(), "pin");
}

std::optional<unsigned> t2t_cfg_impl::get_alert_distance() const {
    return try_get_number_as_unsigned(json(), "alert_distance");
}

std::optional<unsigned> t2t_cfg_impl::get_safe_distance() const {
    return try_get_number_as_unsigned(json(), "safe_distance");
}

std::optional<bool> t2t_cfg_impl::get_buzzer() const {
    return parser_utils::try_get_bool(json(), "buzzer");
}

std::optional<bool> t2t_cfg_impl::get_haptic() const {
    return parser_utils::try_get_bool(json(), "haptic");
}

const Json::Value& trackable_object_impl::tag_config_impl::json() const {
    return tag_config_of(m_record);
}

bool trackable_object_impl::tag_config_impl::get_stationary() const {
    return parser_utils::get_bool(json(), "stationary");
}

std::optional<text_range> trackable_object_impl::tag_config_impl::get_t2t_no_alarm() const {
    const Json::Value& items = parser_utils::member(json(), "t2t_no_alarm");
    if (!items.isArray())
        return std::nullopt;
    return parser_utils::make_text_range(items);
}

boost::optional<const trackable_object::tag_config::t2t_cfg&>
trackable_object_impl::tag_config_impl::get_t2t_cfg() const {
    if (!m_t2t_cfg.json().isObject())
        return boost::none;
    return boost::optional<const t2t_cfg&>(m_t2t_cfg);
}

trackable_object_impl::trackable_object_impl(const Json::Value& json)
    : m_json_value(json), m_tag_config(json) {}

trackable_object_impl::trackable_object_impl(const Json::Value& json, const Json::Value& notify)
    : m_json_value(json), m_json_notify(notify), m_tag_config(json) {}

std::string trackable_object_impl::get_uid() const {
    return parser_utils::get_string(m_json_value, "uid");
}

std::string trackable_object_impl::get_name() const {
    return parser_utils::get_string(m_json_value, "name");
}

std::optional<bool> trackable_object_impl::get_responsive() const {
    return parser_utils::try_get_bool(node_of(m_json_value), "responsive");
}

std::optional<std::string> trackable_object_impl::get_mac_address() const {
    return parser_utils::try_get_string(node_of(m_json_value), "mac_address");
}

std::string trackable_object_impl::get_project_uid() const {
    return parser_utils::get_string(m_json_value, "project_uid");
}

std::optional<std::string> trackable_object_impl::get_sublocation_uid() const {
    return parser_utils::try_get_string(position_of(m_json_value), "sl_id");
}

std::optional<int> trackable_object_impl::get_x() const {
    return parser_utils::try_get_number(position_of(m_json_value), "x");
}

std::optional<int> trackable_object_impl::get_y() const {
    return parser_utils::try_get_number(position_of(m_json_value), "y");
}

std::optional<int> trackable_object_impl::get_z() const {
    return parser_utils::try_get_number(position_of(m_json_value), "z");
}

std::uint32_t trackable_object_impl::get_ts() const {
    return detail::record_ts(m_json_value, m_json_notify);
}

std::uint32_t trackable_object_impl::get_ms() const {
    return detail::record_ms(m_json_value, m_json_notify);
}

std::optional<std::string> trackable_object_impl::get_self_zone_uid() const {
    return parser_utils::try_get_string(m_json_value, "self_zone_uid");
}

std::optional<text_range> trackable_object_impl::get_groups() const {
    const Json::Value& groups = parser_utils::member(m_json_value, "groups");
    if (!groups.isArray())
        return std::nullopt;
    return parser_utils::make_text_range(groups);
}

int trackable_object_impl::get_default_height() const {
    return parser_utils::get_number(m_json_value, "default_height");
}

std::string trackable_object_impl::get_type() const {
    return parser_utils::get_string(m_json_value, "type");
}

std::string trackable_object_impl::get_category() const {
    return parser_utils::get_string(m_json_value, "category");
}

const trackable_object::tag_config& trackable_object_impl::get_tag_config() const {
    return m_tag_config;
}

trackable_object::ptr trackable_object::make_view(const Json::Value& element) {
    return std::make_unique<trackable_object_impl>(element);
}

trackable_object::ptr trackable_object::make_view(const Json::Value& record,
                                                  const Json::Value& notify) {
    return std::make_unique<trackable_object_impl>(record, notify);
}

}  // namespace zentu::libs::context_utils::parsers
