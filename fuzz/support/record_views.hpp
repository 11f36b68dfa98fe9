#pragma once

#include <optional>

#include "context_utils/parsers/alarm.hpp"
#include "context_utils/parsers/pos.hpp"
#include "context_utils/parsers/trackable_object.hpp"
#include "context_utils/parsers/trackable_object_association.hpp"
#include "context_utils/parsers/trackable_object_groups.hpp"
#include "context_utils/parsers/zone.hpp"
#include "fuzz_checks.hpp"

// Calls every getter of a record view, each on its own: a getter returns or
// throws one of the project's errors, and every time it hands out is sane.
namespace zentu::fuzz {

namespace parsers = libs::context_utils::parsers;

template <typename T>
void inspect(const T&) {}
inline void inspect(const libs::core::timestamp& time) {
    check_time(time);
}
inline void inspect(const std::optional<libs::core::timestamp>& time) {
    if (time)
        check_time(*time);
}
inline void inspect(const libs::context_utils::text_range& texts) {
    for (const std::string& text : texts)
        (void)text;
}
inline void inspect(const std::optional<libs::context_utils::text_range>& texts) {
    if (texts)
        inspect(*texts);
}

template <typename V, typename... Getters>
void call_each(const V& view, Getters... getters) {
    (project_errors_only([&] { inspect((view.*getters)()); }), ...);
}

// Seconds and milliseconds handed out as two numbers.
template <typename V>
void check_split_time(const V& view) {
    project_errors_only([&] {
        const auto ts = view.get_ts();
        FUZZ_ASSERT(view.get_ms() < 1000);
        check_time(libs::core::timestamp::from_parts(ts, view.get_ms()));
    });
}

inline void touch(const parsers::zone& zone) {
    using z = parsers::zone;
    call_each(zone, &z::get_uid, &z::get_project_uid, &z::get_name, &z::get_sublocation_uid,
              &z::get_active, &z::get_shape, &z::get_zone_type_name, &z::get_zone_alarm_level,
              &z::get_default_allowed, &z::get_priority, &z::get_ts, &z::get_ms,
              &z::get_trackable_object_uid, &z::get_radius, &z::get_zone_exceptions,
              &z::get_zone_exceptions_groups);
    check_split_time(zone);
    project_errors_only([&] {
        zone.for_each_point([](const z::point& p) {
            call_each(p, &z::point::get_x, &z::point::get_y);
            return true;
        });
    });
    project_errors_only([&] {
        zone.for_each_trackable_in_zone([](const z::trackable_in_zone& t) {
            using t_in_z = z::trackable_in_zone;
            call_each(t, &t_in_z::get_uid, &t_in_z::get_x, &t_in_z::get_y, &t_in_z::get_z,
                      &t_in_z::get_time);
            return true;
        });
    });
}

inline void touch(const parsers::trackable_object& object) {
    using o = parsers::trackable_object;
    call_each(object, &o::get_uid, &o::get_name, &o::get_responsive, &o::get_mac_address,
              &o::get_project_uid, &o::get_sublocation_uid, &o::get_x, &o::get_y, &o::get_z,
              &o::get_ts, &o::get_ms, &o::get_self_zone_uid, &o::get_groups, &o::get_default_height,
              &o::get_type, &o::get_category);
    check_split_time(object);
    project_errors_only([&] {
        const o::tag_config& tag_config = object.get_tag_config();
        call_each(tag_config, &o::tag_config::get_stationary, &o::tag_config::get_t2t_no_alarm);
        if (const auto cfg = tag_config.get_t2t_cfg()) {
            using c = o::tag_config::t2t_cfg;
            call_each(*cfg, &c::get_role, &c::get_alarm_back, &c::get_distance, &c::get_angle,
                      &c::get_delay, &c::get_pin, &c::get_alert_distance, &c::get_safe_distance,
                      &c::get_buzzer, &c::get_haptic);
        }
    });
}

inline void touch(const parsers::alarm& alarm) {
    using a = parsers::alarm;
    call_each(alarm, &a::get_uid, &a::get_mac_address, &a::get_alarm_name, &a::get_text,
              &a::get_zone_alarm_level, &a::get_zone_violation_type, &a::get_zone_uid, &a::get_ts,
              &a::get_ms, &a::get_sublocation_uid, &a::get_x, &a::get_y, &a::get_z,
              &a::get_obj_uid);
    check_split_time(alarm);
}

inline void touch(const parsers::pos& pos) {
    using p = parsers::pos;
    call_each(pos, &p::get_trackable_uid, &p::get_ts, &p::get_x, &p::get_y, &p::get_z, &p::get_type,
              &p::get_sublocation_uid, &p::get_fom, &p::get_mac);
}

inline void touch(const parsers::trackable_object_association& association) {
    using a = parsers::trackable_object_association;
    call_each(association, &a::get_ts, &a::get_project_uid, &a::get_mac_address,
              &a::get_trackable_object_uid, &a::get_created_at, &a::get_removed_at);
}

inline void touch(const parsers::trackable_object_groups& groups) {
    using g = parsers::trackable_object_groups;
    call_each(groups, &g::get_ts, &g::get_project_uid);
    const auto each_group = [](const g::group& group) {
        call_each(group, &g::group::get_uid, &g::group::get_trackable_object_uid);
        return true;
    };
    project_errors_only([&] { groups.for_each_added_group(each_group); });
    project_errors_only([&] { groups.for_each_removed_group(each_group); });
}

}  // namespace zentu::fuzz
