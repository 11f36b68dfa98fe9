#include "parsers/zone_impl.hpp"

#include <stdexcept>

#include "context_utils/parsers/parser_utils.hpp"
#include "record_time.hpp"

namespace zentu::libs::context_utils::parsers {

int zone_impl::point_impl::get_x() const {
    return parser_utils::get_number(m_json_value, "x");
}

int zone_impl::point_impl::get_y() const {
    return parser_utils::get_number(m_json_value, "y");
}

std::string zone_impl::trackable_in_zone_impl::get_uid() const {
    return parser_utils::get_string(m_json_value, "uid");
}

int zone_impl::trackable_in_zone_impl::get_x() const {
    return parser_utils::get_number(parser_utils::member(m_json_value, "entered"), "x",
                                    "entered.x");
}

int zone_impl::trackable_in_zone_impl::get_y() const {
    return parser_utils::get_number(parser_utils::member(m_json_value, "entered"), "y",
                                    "entered.y");
}

int zone_impl::trackable_in_zone_impl::get_z() const {
    return parser_utils::get_number(parser_utils::member(m_json_value, "entered"), "z",
                                    "entered.z");
}

timestamp zone_impl::trackable_in_zone_impl::get_time() const {
    return parser_utils::get_iso8601_timestamp(parser_utils::member(m_json_value, "entered"),
                                               "time", "entered.time");
}

std::string zone_impl::get_uid() const {
    return parser_utils::get_string(m_json_value, "uid");
}

std::string zone_impl::get_project_uid() const {
    return parser_utils::get_string(m_json_value, "project_uid");
}

std::string zone_impl::get_name() const {
    return parser_utils::get_string(m_json_value, "name");
}

std::optional<std::string> zone_impl::get_sublocation_uid() const {
    return parser_utils::try_get_string(m_json_value, "sublocation_uid");
}

bool zone_impl::get_active() const {
    return parser_utils::get_bool(m_json_value, "active");
}

std::string zone_impl::get_shape() const {
    return parser_utils::get_string(m_json_value, "shape");
}

std::string zone_impl::get_zone_type_name() const {
    return parser_utils::get_string(m_json_value, "zone_type_name");
}

unsigned zone_impl::get_zone_alarm_level() const {
    return parser_utils::get_uint(m_json_value, "zone_alarm_level");
}

bool zone_impl::get_default_allowed() const {
    return parser_utils::get_bool(m_json_value, "default_allowed");
}

int zone_impl::get_priority() const {
    return parser_utils::get_int(m_json_value, "priority");
}

std::uint32_t zone_impl::get_ts() const {
    return detail::record_ts(m_json_value, m_json_notify);
}

std::uint32_t zone_impl::get_ms() const {
    return detail::record_ms(m_json_value, m_json_notify);
}

std::optional<std::string> zone_impl::get_trackable_object_uid() const {
    return parser_utils::try_get_string(m_json_value, "trackable_object_uid");
}

std::optional<int> zone_impl::get_radius() const {
    return parser_utils::try_get_number(parser_utils::member(m_json_value, "zone_geometry"),
                                        "radius");
}

bool zone_impl::for_each_point(const point_callback& callback) const {
    const Json::Value& positions =
        parser_utils::member(parser_utils::member(m_json_value, "zone_geometry"), "positions");
    if (!positions.isArray())
        return true;
    for (const Json::Value& element : positions) {
        if (!callback(point_impl(element)))
            return false;
    }
    return true;
}

zone::zone_exceptions zone_impl::get_zone_exceptions() const {
    const Json::Value& exceptions = parser_utils::member(m_json_value, "zone_exceptions");
    if (!exceptions.isArray())
        throw std::logic_error("context-utils: zone_exceptions is not an array!");
    return parser_utils::make_text_range(exceptions);
}

zone::zone_exceptions_groups zone_impl::get_zone_exceptions_groups() const {
    const Json::Value& groups = parser_utils::member(m_json_value, "zone_exceptions_groups");
    if (!groups.isArray())
        throw std::logic_error("context-utils: zone_exceptions_groups is not an array!");
    return parser_utils::make_text_range(groups);
}

bool zone_impl::for_each_trackable_in_zone(const trackable_in_zone_callback& callback) const {
    const Json::Value& trackables = parser_utils::member(m_json_value, "trackables_in_zone");
    if (!trackables.isArray())
        return true;
    for (const Json::Value& element : trackables) {
        if (!callback(trackable_in_zone_impl(element)))
            return false;
    }
    return true;
}

bool zone_impl::has_trackables_in_zone() const {
    return m_json_value["trackables_in_zone"].isArray();
}

zone::ptr zone::make_view(const Json::Value& element) {
    return std::make_unique<zone_impl>(element);
}

zone::ptr zone::make_view(const Json::Value& record, const Json::Value& notify) {
    return std::make_unique<zone_impl>(record, notify);
}

}  // namespace zentu::libs::context_utils::parsers
