#include "objects/zone_impl.hpp"
#include "walk.hpp"

namespace zentu::libs::context_utils::objects {

int zone_impl::point_impl::get_x() const {
    return m_x.get(m_json_value, "x");
}

int zone_impl::point_impl::get_y() const {
    return m_y.get(m_json_value, "y");
}

const std::optional<int>& zone_impl::zone_geometry_impl::get_radius() const {
    return m_radius.get(m_json_value, "radius");
}

bool zone_impl::zone_geometry_impl::for_each_point(const point_callback& callback) const {
    return detail::walk(m_positions.get(m_json_value, "positions"), callback);
}

const std::string& zone_impl::trackable_in_zone_impl::get_uid() const {
    return m_uid.get(m_json_value, "uid");
}

int zone_impl::trackable_in_zone_impl::get_x() const {
    return m_x.get(m_json_entered, "x", "entered.x");
}

int zone_impl::trackable_in_zone_impl::get_y() const {
    return m_y.get(m_json_entered, "y", "entered.y");
}

int zone_impl::trackable_in_zone_impl::get_z() const {
    return m_z.get(m_json_entered, "z", "entered.z");
}

timestamp zone_impl::trackable_in_zone_impl::get_time() const {
    return m_time.get(m_json_entered, "time", "entered.time");
}

const std::optional<unsigned>& zone_impl::user_params_impl::get_max_occupancy() const {
    return m_max_occupancy.get(m_json_value, "max_occupancy");
}

const std::string& zone_impl::get_uid() const {
    return m_uid.get(m_json_value, "uid");
}

const std::string& zone_impl::get_project_uid() const {
    return m_project_uid.get(m_json_value, "project_uid");
}

std::optional<unsigned> zone_impl::get_zone_id() const {
    return m_zone_id.get(m_json_value, "zone_id");
}

const std::string& zone_impl::get_name() const {
    return m_name.get(m_json_value, "name");
}

const std::optional<std::string>& zone_impl::get_sublocation_uid() const {
    return m_sublocation_uid.get(m_json_value, "sublocation_uid");
}

bool zone_impl::get_active() const {
    return m_active.get(m_json_value, "active");
}

const std::string& zone_impl::get_shape() const {
    return m_shape.get(m_json_value, "shape");
}

const std::string& zone_impl::get_zone_type_name() const {
    return m_zone_type_name.get(m_json_value, "zone_type_name");
}

unsigned zone_impl::get_zone_alarm_level() const {
    return m_zone_alarm_level.get(m_json_value, "zone_alarm_level");
}

std::optional<unsigned> zone_impl::get_sublocation_id() const {
    return m_sublocation_id.get(m_json_value, "sublocation_id");
}

unsigned zone_impl::get_zone_type_id() const {
    return m_zone_type_id.get(m_json_value, "zone_type_id");
}

bool zone_impl::get_default_allowed() const {
    return m_default_allowed.get(m_json_value, "default_allowed");
}

int zone_impl::get_priority() const {
    return m_priority.get(m_json_value, "priority");
}

timestamp zone_impl::get_updated_at() const {
    return updated_at();
}

const std::optional<std::string>& zone_impl::get_trackable_object_uid() const {
    return m_trackable_object_uid.get(m_json_value, "trackable_object_uid");
}

const zone::zone_geometry& zone_impl::get_zone_geometry() const {
    return m_zone_geometry.get(m_json_value, "zone_geometry");
}

bool zone_impl::for_each_trackable_in_zone(const trackable_in_zone_callback& callback) const {
    return detail::walk(m_trackables_in_zone.get(m_json_value, "trackables_in_zone"), callback);
}

const std::vector<std::string>& zone_impl::get_zone_exceptions() const {
    return m_zone_exceptions.get(m_json_value, "zone_exceptions");
}

const std::vector<std::string>& zone_impl::get_zone_exceptions_groups() const {
    return m_zone_exceptions_groups.get(m_json_value, "zone_exceptions_groups");
}

boost::optional<const zone::user_params&> zone_impl::get_user_params() const {
    return detail::optional_ref<user_params>(m_user_params.get(m_json_value, "user_params"));
}

zone::ptr zone::create(const json_object& element) {
    return std::make_unique<zone_impl>(element);
}

zone::ptr zone::create(const json_notify& notify) {
    return std::make_unique<zone_impl>(notify);
}

}  // namespace zentu::libs::context_utils::objects
