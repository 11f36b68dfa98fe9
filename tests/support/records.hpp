#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "context/alarm.hpp"
#include "context/context.hpp"
#include "context/pair_uid.hpp"
#include "context/trackableobject.hpp"
#include "context/zone.hpp"
#include "context/zone_event.hpp"
#include "context/zone_type.hpp"
#include "core/timestamp.hpp"

namespace zentu::test {

// The service's records for tests, benchmarks and fuzz targets: every field
// has a default and a test names only what matters to it, e.g.
//
//   site(ctx).add(a_zone("K").keep_out().name("Dock 3")).add(an_object("o1").mac(std::nullopt));
//
// Each builder turns into its record where one is expected. Defaults: project
// "p1", no sublocation, time 0; a zone is an active keep-in polygon of level 1
// named after its uid, excepting nobody; an object is responsive with MAC
// "aa:bb" and no group; a movement is an "enter" into a keep-in zone at the
// origin; an alarm is a keep-out "set", "zone_violation" of level 1.

using libs::core::timestamp;

class zone_builder {
public:
    explicit zone_builder(std::string uid) : m_zone(std::move(uid)) {
        m_zone.set_name(m_zone.get_uid());
        m_zone.set_project_uid("p1");
        m_zone.set_active(true);
        m_zone.set_shape(context::zone_shape::POLYGON);
        m_zone.set_type(context::zone_type::KEEP_IN);
        m_zone.set_alarm_level(1);
    }

    zone_builder& name(std::string name) {
        m_zone.set_name(std::move(name));
        return *this;
    }
    zone_builder& project(std::string uid) {
        m_zone.set_project_uid(std::move(uid));
        return *this;
    }
    zone_builder& sublocation(std::optional<std::string> uid) {
        m_zone.set_sublocation_uid(std::move(uid));
        return *this;
    }
    zone_builder& active(bool active) {
        m_zone.set_active(active);
        return *this;
    }
    zone_builder& shape(context::zone_shape shape) {
        m_zone.set_shape(shape);
        return *this;
    }
    zone_builder& type(context::zone_type type) {
        m_zone.set_type(type);
        return *this;
    }
    zone_builder& keep_out() { return type(context::zone_type::KEEP_OUT); }
    zone_builder& level(std::uint32_t level) {
        m_zone.set_alarm_level(level);
        return *this;
    }
    zone_builder& default_allowed(bool allowed) {
        m_zone.set_default_allowed(allowed);
        return *this;
    }
    zone_builder& at(timestamp ts) {
        m_zone.set_ts(ts);
        return *this;
    }
    // The zone moves with this object (a buffer zone).
    zone_builder& attached_to(std::optional<std::string> obj_uid) {
        m_zone.set_trackable_object_uid(std::move(obj_uid));
        return *this;
    }
    zone_builder& exceptions(context::zone::uids uids) {
        m_zone.set_exceptions(std::move(uids));
        return *this;
    }
    zone_builder& exceptions_groups(context::zone::uids uids) {
        m_zone.set_exceptions_groups(std::move(uids));
        return *this;
    }

    const context::zone& get() const noexcept { return m_zone; }
    operator context::zone() const { return m_zone; }  // NOLINT(google-explicit-constructor)

private:
    context::zone m_zone;
};

class object_builder {
public:
    explicit object_builder(std::string uid) : m_object(std::move(uid)) {
        m_object.set_responsive(true);
        m_object.set_mac_address("aa:bb");
        m_object.set_project_uid("p1");
    }

    object_builder& responsive(bool responsive) {
        m_object.set_responsive(responsive);
        return *this;
    }
    object_builder& mac(std::optional<std::string> mac) {
        m_object.set_mac_address(std::move(mac));
        return *this;
    }
    object_builder& project(std::string uid) {
        m_object.set_project_uid(std::move(uid));
        return *this;
    }
    object_builder& sublocation(std::optional<std::string> uid) {
        m_object.set_sublocation_uid(std::move(uid));
        return *this;
    }
    object_builder& at(timestamp ts) {
        m_object.set_ts(ts);
        return *this;
    }
    object_builder& self_zone(std::optional<std::string> zone_uid) {
        m_object.set_self_zone_uid(std::move(zone_uid));
        return *this;
    }
    object_builder& groups(context::trackable_object::uids groups) {
        m_object.set_groups(std::move(groups));
        return *this;
    }

    const context::trackable_object& get() const noexcept { return m_object; }
    // NOLINTNEXTLINE(google-explicit-constructor)
    operator context::trackable_object() const { return m_object; }

private:
    context::trackable_object m_object;
};

class movement_builder {
public:
    movement_builder(const std::string& obj_uid, const std::string& zone_uid)
        : m_event(context::pair_uid(obj_uid, zone_uid)) {
        m_event.set_obj_uid(obj_uid);
        m_event.set_zone_uid(zone_uid);
        m_event.set_project_uid("p1");
        m_event.set_zone_type(context::zone_type::KEEP_IN);
        m_event.set_action("enter");
    }

    movement_builder& at(timestamp ts) {
        m_event.set_ts(ts);
        return *this;
    }
    movement_builder& action(std::string action) {
        m_event.set_action(std::move(action));
        return *this;
    }
    movement_builder& leave() { return action("leave"); }
    movement_builder& type(context::zone_type type) {
        m_event.set_zone_type(type);
        return *this;
    }
    movement_builder& keep_out() { return type(context::zone_type::KEEP_OUT); }
    movement_builder& sublocation(std::string uid) {
        m_event.set_sublocation_uid(std::move(uid));
        return *this;
    }
    movement_builder& project(std::string uid) {
        m_event.set_project_uid(std::move(uid));
        return *this;
    }
    movement_builder& position(std::int32_t x, std::int32_t y, std::int32_t z) {
        m_event.set_x(x);
        m_event.set_y(y);
        m_event.set_z(z);
        return *this;
    }

    const context::zone_event& get() const noexcept { return m_event; }
    operator context::zone_event() const { return m_event; }  // NOLINT(google-explicit-constructor)

private:
    context::zone_event m_event;
};

class alarm_builder {
public:
    alarm_builder(const std::string& obj_uid, const std::string& zone_uid)
        : m_alarm(context::pair_uid(obj_uid, zone_uid)) {
        m_alarm.set_trobject_uid(obj_uid);
        m_alarm.set_zone_uid(zone_uid);
        m_alarm.set_mac_address("aa:bb");
        m_alarm.set_alarm_name("zone_violation");
        m_alarm.set_zone_alarm_level(1);
        m_alarm.set_alarm_type(context::alarm_type::ko);
        m_alarm.set_state("set");
    }

    alarm_builder& kind(context::alarm_type kind) {
        m_alarm.set_alarm_type(kind);
        return *this;
    }
    alarm_builder& keep_in() { return kind(context::alarm_type::ki); }
    alarm_builder& state(std::string state) {
        m_alarm.set_state(std::move(state));
        return *this;
    }
    alarm_builder& mac(std::string mac) {
        m_alarm.set_mac_address(std::move(mac));
        return *this;
    }
    alarm_builder& name(std::string alarm_name) {
        m_alarm.set_alarm_name(std::move(alarm_name));
        return *this;
    }
    alarm_builder& level(std::uint32_t level) {
        m_alarm.set_zone_alarm_level(level);
        return *this;
    }
    alarm_builder& text(std::string text) {
        m_alarm.set_alarm_text(std::move(text));
        return *this;
    }
    alarm_builder& sublocation(std::optional<std::string> uid) {
        m_alarm.set_sublocation_uid(std::move(uid));
        return *this;
    }
    alarm_builder& at(timestamp ts) {
        m_alarm.set_timestamp(ts);
        return *this;
    }
    alarm_builder& position(context::alarm::coordinate x, context::alarm::coordinate y,
                            context::alarm::coordinate z) {
        m_alarm.set_x(x);
        m_alarm.set_y(y);
        m_alarm.set_z(z);
        return *this;
    }

    const context::alarm& get() const noexcept { return m_alarm; }
    operator context::alarm() const { return m_alarm; }  // NOLINT(google-explicit-constructor)

private:
    context::alarm m_alarm;
};

inline zone_builder a_zone(std::string uid) {
    return zone_builder(std::move(uid));
}
inline object_builder an_object(std::string uid) {
    return object_builder(std::move(uid));
}
inline movement_builder a_movement(const std::string& obj_uid, const std::string& zone_uid) {
    return movement_builder(obj_uid, zone_uid);
}
inline alarm_builder an_alarm(const std::string& obj_uid, const std::string& zone_uid) {
    return alarm_builder(obj_uid, zone_uid);
}

// A small site in a context: each record is added, or replaces the one of its
// uid, through the context's repositories, so their observers hear of it.
class site {
public:
    explicit site(context::writable_context& ctx) : m_ctx(ctx) {}

    site& add(const context::zone& zone, timestamp ts = {}) {
        m_ctx.take_zones().update_or_add(zone, ts);
        return *this;
    }
    site& add(const context::trackable_object& object, timestamp ts = {}) {
        m_ctx.take_trackable_objects().update_or_add(object, ts);
        return *this;
    }
    site& add(const context::zone_event& event, timestamp ts = {}) {
        m_ctx.take_zone_events().update_or_add(event, ts);
        return *this;
    }
    site& add(const context::alarm& alarm, timestamp ts = {}) {
        m_ctx.take_alarms().update_or_add(alarm, ts);
        return *this;
    }
    site& add(const zone_builder& zone, timestamp ts = {}) { return add(zone.get(), ts); }
    site& add(const object_builder& object, timestamp ts = {}) { return add(object.get(), ts); }
    site& add(const movement_builder& event, timestamp ts = {}) { return add(event.get(), ts); }
    site& add(const alarm_builder& alarm, timestamp ts = {}) { return add(alarm.get(), ts); }

private:
    context::writable_context& m_ctx;
};

}  // namespace zentu::test
