#include "context_debug.hpp"

#include <vector>

namespace zentu {
namespace {

const std::string zones_set = "marovane:zones:set";
const std::string objects_set = "marovane:trackable_objects:set";
const std::string alarms_set = "marovane:alarms:set";

const char* const zone_delete = "DEL marovane:zones:%s";
const char* const object_delete = "DEL marovane:trackable_objects:%s";
const char* const alarm_delete = "DEL marovane:alarms:%s";

constexpr std::int32_t absent_coordinate = 999999;
constexpr auto max_reconnect_backoff = std::chrono::seconds(30);
constexpr auto error_log_period = std::chrono::seconds(1);

const char* bool_str(bool value) {
    return value ? "true" : "false";
}

const std::string& or_none(const std::optional<std::string>& value) {
    return value ? *value : context_debug::none_str;
}

int coordinate_or_absent(const std::optional<std::int32_t>& value) {
    return value ? *value : absent_coordinate;
}

}  // namespace

const std::string context_debug::none_str = "--";

context_debug::context_debug(context::context& context, redis::context& redis_context,
                             libs::core::logger& logger, connector reconnect)
    : m_context(context),
      m_redis(&redis_context),
      m_connector(std::move(reconnect)),
      m_zones_subscription_handle(context.get_zones().subscribe(*this)),
      m_trackable_objects_subscription_handle(context.get_trackable_objects().subscribe(*this)),
      m_alarms_subscription_handle(context.get_alarms().subscribe(*this)),
      m_logger(logger) {
    const timestamp now = timestamp::current_time();
    guarded([&] { rewrite_all(now); });
}

// ---- failure containment ----------------------------------------------------

template <typename Write>
void context_debug::guarded(Write&& write) {
    if (!ensure_connection())
        return;
    try {
        write();
    } catch (...) {
        const auto now = clock::now();
        if (!m_logged_any_error || now - m_last_error_log >= error_log_period) {
            if (m_suppressed_errors > 0)
                m_logger.error("Redis mirror: %1% more failures since the last report") %
                    m_suppressed_errors;
            m_logger.log_exception();
            m_last_error_log = now;
            m_logged_any_error = true;
            m_suppressed_errors = 0;
        } else {
            ++m_suppressed_errors;
        }
        handle_failure();
    }
}

void context_debug::handle_failure() {
    // Error replies leave the connection usable; a broken one is dropped and
    // replaced later by a fresh connection and a full rewrite.
    if (m_redis && m_redis->is_broken()) {
        m_redis = nullptr;
        m_own_redis.reset();
        m_next_reconnect = clock::now() + m_reconnect_backoff;
        m_logger.warning("Redis mirror: connection lost, the mirror is suspended");
    }
}

bool context_debug::ensure_connection() {
    if (m_redis)
        return true;
    if (!m_connector)
        return false;
    const auto now = clock::now();
    if (now < m_next_reconnect)
        return false;
    try {
        m_own_redis = m_connector();
    } catch (...) {
        m_own_redis.reset();
    }
    if (!m_own_redis) {
        m_reconnect_backoff =
            std::min<clock::duration>(m_reconnect_backoff * 2, max_reconnect_backoff);
        m_next_reconnect = clock::now() + m_reconnect_backoff;
        return false;
    }
    m_redis = m_own_redis.get();
    m_reconnect_backoff = std::chrono::seconds(1);
    m_logger.info("Redis mirror: reconnected, rewriting the mirror");
    const timestamp stamp = timestamp::current_time();
    try {
        rewrite_all(stamp);
    } catch (...) {
        m_logger.log_exception();
        handle_failure();
        return false;
    }
    return m_redis != nullptr;
}

// ---- whole mirror ---------------------------------------------------------------

void context_debug::rewrite() {
    const timestamp now = timestamp::current_time();
    guarded([&] { rewrite_all(now); });
}

void context_debug::clear_kind(const std::string& set_key, const std::string& delete_template) {
    const auto members = m_redis->get_set_members(set_key);
    std::vector<std::string> uids;
    members.as_array().for_each_element([&](const redis::reply_element& member) {
        uids.push_back(member.to_string());
        return true;
    });
    for (const auto& uid : uids) {
        m_redis->execute_command(delete_template, uid);
        m_redis->execute_command_argv({"SREM", set_key, uid});
    }
}

void context_debug::rewrite_all(timestamp now) {
    clear_kind(zones_set, zone_delete);
    m_context.get_zones().for_each([&](const context::zone& zone) {
        write_zone(zone, now, "create_time");
        return true;
    });
    clear_kind(objects_set, object_delete);
    m_context.get_trackable_objects().for_each([&](const context::trackable_object& object) {
        write_object(object, now, "create_time");
        return true;
    });
    clear_kind(alarms_set, alarm_delete);
    m_context.get_alarms().for_each([&](const context::alarm& alarm) {
        write_alarm(alarm, now, "create_time");
        return true;
    });
}

// ---- single objects ---------------------------------------------------------------

void context_debug::write_zone(const context::zone& zone, timestamp ts, const char* time_field) {
    const std::string format = std::string(
                                   "HMSET marovane:zones:%s uid %s name %s sublocation_uid %s "
                                   "active %s shape %s type %s alarm_level %s default_allowed %s "
                                   "ts %s trackable_object_uid %s ") +
                               time_field + " %s";
    m_redis->execute_command(format, zone.get_uid(), zone.get_uid(), zone.get_name(),
                             or_none(zone.get_sublocation_uid()), bool_str(zone.get_active()),
                             std::string(context::to_string(zone.get_shape())),
                             std::string(context::to_string(zone.get_type())),
                             std::to_string(zone.get_alarm_level()),
                             bool_str(zone.get_default_allowed()), zone.get_ts().serialize(),
                             or_none(zone.get_trackable_object_uid()), ts.serialize());
    m_redis->execute_command_argv({"SADD", zones_set, zone.get_uid()});
}

void context_debug::write_object(const context::trackable_object& object, timestamp ts,
                                 const char* time_field) {
    const std::string format = std::string(
                                   "HMSET marovane:trackable_objects:%s uid %s responsive %s "
                                   "mac_address %s project_uid %s sublocation_uid %s ts %s "
                                   "self_zone_uid %s ") +
                               time_field + " %s";
    m_redis->execute_command(format, object.get_uid(), object.get_uid(),
                             bool_str(object.get_responsive()), or_none(object.get_mac_address()),
                             object.get_project_uid(), or_none(object.get_sublocation_uid()),
                             object.get_ts().serialize(), or_none(object.get_self_zone_uid()),
                             ts.serialize());
    m_redis->execute_command_argv({"SADD", objects_set, object.get_uid()});
}

void context_debug::write_alarm(const context::alarm& alarm, timestamp ts, const char* time_field) {
    const std::string format =
        std::string(
            "HMSET marovane:alarms:%s uid %s trobject_uid %s sublocation_uid %s zone_uid %s "
            "mac_address %s alarm_name %s zone_alarm_level %d alarm_type %s alarm_text %s "
            "state %s timestamp %s x %d y %d z %d ") +
        time_field + " %s";
    const auto sublocation = alarm.get_sublocation_uid();
    m_redis->execute_command(
        format, alarm.get_uid(), alarm.get_uid(), alarm.get_trobject_uid(),
        sublocation ? *sublocation : none_str, alarm.get_zone_uid(), alarm.get_mac_address(),
        alarm.get_alarm_name(), static_cast<int>(alarm.get_zone_alarm_level()),
        std::string(context::to_string(alarm.get_alarm_type())), alarm.get_alarm_text(),
        alarm.get_state(), alarm.get_timestamp().serialize(), coordinate_or_absent(alarm.get_x()),
        coordinate_or_absent(alarm.get_y()), coordinate_or_absent(alarm.get_z()), ts.serialize());
    m_redis->execute_command_argv({"SADD", alarms_set, alarm.get_uid()});
}

void context_debug::remove(const char* delete_template, const std::string& set_key,
                           const std::string& uid) {
    m_redis->execute_command(delete_template, uid);
    m_redis->execute_command_argv({"SREM", set_key, uid});
}

// ---- notifications ------------------------------------------------------------------

void context_debug::after_creating(const context::zone& zone, timestamp ts) {
    guarded([&] { write_zone(zone, ts, "create_time"); });
}
void context_debug::after_updating(const context::zone& zone, timestamp ts) {
    guarded([&] { write_zone(zone, ts, "update_time"); });
}
void context_debug::before_deleting(const context::zone& zone, timestamp) {
    guarded([&] { remove(zone_delete, zones_set, zone.get_uid()); });
}

void context_debug::after_creating(const context::trackable_object& object, timestamp ts) {
    guarded([&] { write_object(object, ts, "create_time"); });
}
void context_debug::after_updating(const context::trackable_object& object, timestamp ts) {
    guarded([&] { write_object(object, ts, "update_time"); });
}
void context_debug::before_deleting(const context::trackable_object& object, timestamp) {
    guarded([&] { remove(object_delete, objects_set, object.get_uid()); });
}

void context_debug::after_creating(const context::alarm& alarm, timestamp ts) {
    guarded([&] { write_alarm(alarm, ts, "create_time"); });
}
void context_debug::after_updating(const context::alarm& alarm, timestamp ts) {
    guarded([&] { write_alarm(alarm, ts, "update_time"); });
}
void context_debug::before_deleting(const context::alarm& alarm, timestamp) {
    guarded([&] { remove(alarm_delete, alarms_set, alarm.get_uid()); });
}

}  // namespace zentu
