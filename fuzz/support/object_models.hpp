#pragma once

#include "context_utils/objects/node.hpp"
#include "context_utils/objects/sublocation.hpp"
#include "context_utils/objects/trackable_object.hpp"
#include "context_utils/objects/win_anchor.hpp"
#include "context_utils/objects/zone.hpp"
#include "record_views.hpp"

// Calls every getter of an object model, each on its own, twice: a model
// converts a field once and keeps it, so the second call reads the cache.
namespace zentu::fuzz {

namespace objects = libs::context_utils::objects;

template <typename M, typename... Getters>
void call_each_twice(const M& model, Getters... getters) {
    call_each(model, getters...);
    call_each(model, getters...);
}

inline void touch(const objects::zone& zone) {
    using z = objects::zone;
    call_each_twice(zone, &z::get_uid, &z::get_project_uid, &z::get_zone_id, &z::get_name,
                    &z::get_sublocation_uid, &z::get_active, &z::get_shape, &z::get_zone_type_name,
                    &z::get_zone_alarm_level, &z::get_sublocation_id, &z::get_zone_type_id,
                    &z::get_default_allowed, &z::get_priority, &z::get_updated_at,
                    &z::get_trackable_object_uid, &z::get_zone_exceptions,
                    &z::get_zone_exceptions_groups);
    project_errors_only([&] {
        const z::zone_geometry& geometry = zone.get_zone_geometry();
        geometry.get_radius();
        geometry.for_each_point([](const z::point& p) {
            call_each(p, &z::point::get_x, &z::point::get_y);
            return true;
        });
    });
    project_errors_only([&] {
        zone.for_each_trackable_in_zone([](const z::trackable_in_zone& t) {
            using t_in_z = z::trackable_in_zone;
            call_each_twice(t, &t_in_z::get_uid, &t_in_z::get_x, &t_in_z::get_y, &t_in_z::get_z,
                            &t_in_z::get_time);
            return true;
        });
    });
    project_errors_only([&] {
        if (const auto params = zone.get_user_params())
            params->get_max_occupancy();
    });
}

inline void touch(const objects::trackable_object& object) {
    using o = objects::trackable_object;
    call_each_twice(object, &o::get_uid, &o::get_name, &o::get_project_uid, &o::get_company_uid,
                    &o::get_updated_at, &o::get_self_zone_uid, &o::get_default_height, &o::get_type,
                    &o::get_category);
    project_errors_only([&] {
        if (const auto node = object.get_node())
            call_each(*node, &o::node::get_responsive, &o::node::get_mac_address);
    });
    project_errors_only([&] {
        if (const auto position = object.get_position())
            call_each(*position, &o::position::get_x, &o::position::get_y, &o::position::get_z,
                      &o::position::get_sl_id);
    });
    project_errors_only([&] { object.get_groups(); });
    project_errors_only([&] {
        using t = o::tag_config;
        const t& tag_config = object.get_tag_config();
        call_each(tag_config, &t::get_stationary);
        tag_config.for_each_t2t_no_alarm_item([](const t::t2t_no_alarm_item& item) {
            call_each(item, &t::t2t_no_alarm_item::get_mac);
            return true;
        });
        if (const auto cfg = tag_config.get_t2t_cfg()) {
            using c = t::t2t_cfg;
            call_each(*cfg, &c::get_role, &c::get_alarm_back, &c::get_distance, &c::get_angle,
                      &c::get_delay, &c::get_pin, &c::get_alert_distance, &c::get_safe_distance,
                      &c::get_buzzer, &c::get_haptic);
        }
    });
}

inline void touch(const objects::win_anchor& anchor) {
    using a = objects::win_anchor;
    call_each_twice(anchor, &a::get_uid, &a::get_name, &a::get_sublocation_uid, &a::get_project_uid,
                    &a::get_company_uid, &a::get_updated_at);
    project_errors_only([&] {
        if (const auto node = anchor.get_node())
            call_each(*node, &a::node::get_responsive, &a::node::get_mac_address,
                      &a::node::get_node_id);
    });
    project_errors_only([&] {
        if (const auto position = anchor.get_position())
            call_each(*position, &a::position::get_x, &a::position::get_y, &a::position::get_z);
    });
}

inline void touch(const objects::sublocation& sublocation) {
    using s = objects::sublocation;
    call_each_twice(sublocation, &s::get_uid, &s::get_updated_at, &s::get_name,
                    &s::get_project_name, &s::get_project_uid, &s::get_company_uid,
                    &s::get_location_uid, &s::get_id, &s::get_offset_x, &s::get_offset_y,
                    &s::get_offset_z);
}

inline void touch(const objects::node& node) {
    using n = objects::node;
    call_each_twice(node, &n::get_uid, &n::get_mac_address, &n::get_updated_at);
    project_errors_only([&] {
        if (const auto status = node.get_status())
            status->get_ext_pow();
    });
}

}  // namespace zentu::fuzz
