#include "context_debug.hpp"

namespace zentu {
namespace {

const std::string zones_set = "marovane:zones:set";
const std::string objects_set = "marovane:trackable_objects:set";
const std::string alarms_set = "marovane:alarms:set";

const std::string zone_prefix = "marovane:zones:";
const std::string object_prefix = "marovane:trackable_objects:";
const std::string alarm_prefix = "marovane:alarms:";

constexpr std::int32_t absent_coordinate = 999999;

std::string bool_str(bool value) {
    return value ? "true" : "false";
}

const std::string& or_none(const std::optional<std::string>& value) {
    return value ? *value : context_debug::none_str;
}

std::string coordinate_or_absent(const std::optional<std::int32_t>& value) {
    return std::to_string(value ? *value : absent_coordinate);
}

}  // namespace

const std::string context_debug::none_str = "--";

context_debug::context_debug(context::context& context, redis::context::ptr connection,
                             libs::core::logger& logger, connector reconnect,
                             ops::service_metrics* metrics)
    : m_context(context),
      m_writer(std::move(connection), std::move(reconnect), logger, metrics),
      m_zones_subscription_handle(context.get_zones().subscribe(*this)),
      m_trackable_objects_subscription_handle(context.get_trackable_objects().subscribe(*this)),
      m_alarms_subscription_handle(context.get_alarms().subscribe(*this)),
      m_logger(logger) {
    rewrite();
}

void context_debug::rewrite() {
    rewrite_zones_and_objects();
    m_writer.clear_set(alarms_set, alarm_prefix);
    const timestamp now = timestamp::current_time();
    m_context.get_alarms().for_each([&](const context::alarm& alarm) {
        write_alarm(alarm, now, "create_time");
        return true;
    });
}

void context_debug::rewrite_zones_and_objects() {
    const timestamp now = timestamp::current_time();
    m_writer.clear_set(zones_set, zone_prefix);
    m_context.get_zones().for_each([&](const context::zone& zone) {
        write_zone(zone, now, "create_time");
        return true;
    });
    m_writer.clear_set(objects_set, object_prefix);
    m_context.get_trackable_objects().for_each([&](const context::trackable_object& object) {
        write_object(object, now, "create_time");
        return true;
    });
}

void context_debug::resync_zones_and_objects(const context::context& previous) {
    const timestamp now = timestamp::current_time();
    previous.get_zones().for_each([&](const context::zone& zone) {
        if (!m_context.get_zones().is_exists(zone.get_uid()))
            remove(zone_prefix, zones_set, zone.get_uid());
        return true;
    });
    m_context.get_zones().for_each([&](const context::zone& zone) {
        write_zone(zone, now,
                   previous.get_zones().is_exists(zone.get_uid()) ? "update_time" : "create_time");
        return true;
    });
    previous.get_trackable_objects().for_each([&](const context::trackable_object& object) {
        if (!m_context.get_trackable_objects().is_exists(object.get_uid()))
            remove(object_prefix, objects_set, object.get_uid());
        return true;
    });
    m_context.get_trackable_objects().for_each([&](const context::trackable_object& object) {
        write_object(object, now,
                     previous.get_trackable_objects().is_exists(object.get_uid()) ? "update_time"
                                                                                  : "create_time");
        return true;
    });
}

// ---- single objects ---------------------------------------------------------------

void context_debug::write_zone(const context::zone& zone, timestamp ts, const char* stamp_field) {
    m_writer.put_hash(zone_prefix + zone.get_uid(),
                      {{"uid", zone.get_uid()},
                       {"name", zone.get_name()},
                       {"sublocation_uid", or_none(zone.get_sublocation_uid())},
                       {"active", bool_str(zone.get_active())},
                       {"shape", std::string(context::to_string(zone.get_shape()))},
                       {"type", std::string(context::to_string(zone.get_type()))},
                       {"alarm_level", std::to_string(zone.get_alarm_level())},
                       {"default_allowed", bool_str(zone.get_default_allowed())},
                       {"ts", zone.get_ts().serialize()},
                       {"trackable_object_uid", or_none(zone.get_trackable_object_uid())}},
                      stamp_field, ts.serialize());
    m_writer.add_member(zones_set, zone.get_uid());
}

void context_debug::write_object(const context::trackable_object& object, timestamp ts,
                                 const char* stamp_field) {
    m_writer.put_hash(object_prefix + object.get_uid(),
                      {{"uid", object.get_uid()},
                       {"responsive", bool_str(object.get_responsive())},
                       {"mac_address", or_none(object.get_mac_address())},
                       {"project_uid", object.get_project_uid()},
                       {"sublocation_uid", or_none(object.get_sublocation_uid())},
                       {"ts", object.get_ts().serialize()},
                       {"self_zone_uid", or_none(object.get_self_zone_uid())}},
                      stamp_field, ts.serialize());
    m_writer.add_member(objects_set, object.get_uid());
}

void context_debug::write_alarm(const context::alarm& alarm, timestamp ts,
                                const char* stamp_field) {
    const auto sublocation = alarm.get_sublocation_uid();
    m_writer.put_hash(
        alarm_prefix + alarm.get_uid(),
        {{"uid", alarm.get_uid()},
         {"trobject_uid", alarm.get_trobject_uid()},
         {"sublocation_uid", sublocation ? *sublocation : none_str},
         {"zone_uid", alarm.get_zone_uid()},
         {"mac_address", alarm.get_mac_address()},
         {"alarm_name", alarm.get_alarm_name()},
         {"zone_alarm_level", std::to_string(static_cast<int>(alarm.get_zone_alarm_level()))},
         {"alarm_type", std::string(context::to_string(alarm.get_alarm_type()))},
         {"alarm_text", alarm.get_alarm_text()},
         {"state", alarm.get_state()},
         {"timestamp", alarm.get_timestamp().serialize()},
         {"x", coordinate_or_absent(alarm.get_x())},
         {"y", coordinate_or_absent(alarm.get_y())},
         {"z", coordinate_or_absent(alarm.get_z())}},
        stamp_field, ts.serialize());
    m_writer.add_member(alarms_set, alarm.get_uid());
}

void context_debug::remove(const std::string& hash_prefix, const std::string& set_key,
                           const std::string& uid) {
    m_writer.delete_hash(hash_prefix + uid);
    m_writer.remove_member(set_key, uid);
}

// ---- notifications ------------------------------------------------------------------

void context_debug::after_creating(const context::zone& zone, timestamp ts) {
    write_zone(zone, ts, "create_time");
}
void context_debug::after_updating(const context::zone& zone, timestamp ts) {
    write_zone(zone, ts, "update_time");
}
void context_debug::before_deleting(const context::zone& zone, timestamp) {
    remove(zone_prefix, zones_set, zone.get_uid());
}

void context_debug::after_creating(const context::trackable_object& object, timestamp ts) {
    write_object(object, ts, "create_time");
}
void context_debug::after_updating(const context::trackable_object& object, timestamp ts) {
    write_object(object, ts, "update_time");
}
void context_debug::before_deleting(const context::trackable_object& object, timestamp) {
    remove(object_prefix, objects_set, object.get_uid());
}

void context_debug::after_creating(const context::alarm& alarm, timestamp ts) {
    write_alarm(alarm, ts, "create_time");
}
void context_debug::after_updating(const context::alarm& alarm, timestamp ts) {
    write_alarm(alarm, ts, "update_time");
}
void context_debug::before_deleting(const context::alarm& alarm, timestamp) {
    remove(alarm_prefix, alarms_set, alarm.get_uid());
}

}  // namespace zentu
