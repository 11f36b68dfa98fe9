#include "objects/trackable_object_impl.hpp"
#include "walk.hpp"

namespace zentu::libs::context_utils::objects {

using tag_config_impl = trackable_object_impl::tag_config_impl;
using t2t_cfg_impl = tag_config_impl::t2t_cfg_impl;

bool trackable_object_impl::node_impl::get_responsive() const {
    return m_responsive.get(m_json_value, "responsive");
}

const std::string& trackable_object_impl::node_impl::get_mac_address() const {
    return m_mac_address.get(m_json_value, "mac_address");
}

int trackable_object_impl::position_impl::get_x() const {
    return m_x.get(m_json_value, "x");
}

int trackable_object_impl::position_impl::get_y() const {
    return m_y.get(m_json_value, "y");
}

int trackable_object_impl::position_impl::get_z() const {
    return m_z.get(m_json_value, "z");
}

const std::string& trackable_object_impl::position_impl::get_sl_id() const {
    return m_sl_id.get(m_json_value, "sl_id");
}

const std::string& tag_config_impl::t2t_no_alarm_item_impl::get_mac() const {
    return m_mac.get(m_json_value, "mac", "t2t_no_alarm.mac");
}

const std::optional<std::string>& t2t_cfg_impl::get_role() const {
    return m_role.get(m_json_value, "role");
}

std::optional<bool> t2t_cfg_impl::get_alarm_back() const {
    return m_alarm_back.get(m_json_value, "alarm_back");
}

std::optional<unsigned> t2t_cfg_impl::get_distance() const {
    return m_distance.get(m_json_value, "distance");
}

std::optional<unsigned> t2t_cfg_impl::get_angle() const {
    return m_angle.get(m_json_value, "angle");
}

std::optional<unsigned> t2t_cfg_impl::get_delay() const {
    return m_delay.get(m_json_value, "delay");
}

const std::optional<std::string>& t2t_cfg_impl::get_pin() const {
    return m_pin.get(m_json_value, "pin");
}

std::optional<unsigned> t2t_cfg_impl::get_alert_distance() const {
    return m_alert_distance.get(m_json_value, "alert_distance");
}

std::optional<unsigned> t2t_cfg_impl::get_safe_distance() const {
    return m_safe_distance.get(m_json_value, "safe_distance");
}

std::optional<bool> t2t_cfg_impl::get_buzzer() const {
    return m_buzzer.get(m_json_value, "buzzer");
}

std::optional<bool> t2t_cfg_impl::get_haptic() const {
    return m_haptic.get(m_json_value, "haptic");
}

bool tag_config_impl::get_stationary() const {
    return m_stationary.get(m_json_value, "stationary");
}

bool tag_config_impl::for_each_t2t_no_alarm_item(const t2t_no_alarm_item_callback& callback) const {
    return detail::walk(m_t2t_no_alarm.get(m_json_value, "t2t_no_alarm"), callback);
}

boost::optional<const trackable_object::tag_config::t2t_cfg&> tag_config_impl::get_t2t_cfg() const {
    return detail::optional_ref<t2t_cfg>(m_t2t_cfg.get(m_json_value, "t2t_cfg"));
}

const std::string& trackable_object_impl::get_uid() const {
    return m_uid.get(m_json_value, "uid");
}

const std::string& trackable_object_impl::get_name() const {
    return m_name.get(m_json_value, "name");
}

boost::optional<const trackable_object::node&> trackable_object_impl::get_node() const {
    return detail::optional_ref<node>(m_node.get(m_json_value, "node"));
}

const std::string& trackable_object_impl::get_project_uid() const {
    return m_project_uid.get(m_json_value, "project_uid");
}

const std::string& trackable_object_impl::get_company_uid() const {
    return m_company_uid.get(m_json_value, "company_uid");
}

boost::optional<const trackable_object::position&> trackable_object_impl::get_position() const {
    return detail::optional_ref<position>(m_position.get(m_json_value, "position"));
}

timestamp trackable_object_impl::get_updated_at() const {
    return updated_at();
}

const std::optional<std::string>& trackable_object_impl::get_self_zone_uid() const {
    return m_self_zone_uid.get(m_json_value, "self_zone_uid");
}

boost::optional<const std::vector<std::string>&> trackable_object_impl::get_groups() const {
    return detail::optional_ref<std::vector<std::string>>(m_groups.get(m_json_value, "groups"));
}

int trackable_object_impl::get_default_height() const {
    return m_default_height.get(m_json_value, "default_height");
}

const std::string& trackable_object_impl::get_type() const {
    return m_type.get(m_json_value, "type");
}

const std::string& trackable_object_impl::get_category() const {
    return m_category.get(m_json_value, "category");
}

const trackable_object::tag_config& trackable_object_impl::get_tag_config() const {
    return m_tag_config.get(m_json_value, "tag_config");
}

trackable_object::ptr trackable_object::create(const json_object& element) {
    return std::make_unique<trackable_object_impl>(element);
}

trackable_object::ptr trackable_object::create(const json_notify& notify) {
    return std::make_unique<trackable_object_impl>(notify);
}

}  // namespace zentu::libs::context_utils::objects
