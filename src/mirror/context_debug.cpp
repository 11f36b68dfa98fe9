#include "mirror/context_debug.hpp"
#include "context/record_fields.hpp"

namespace zentu {
namespace {

const std::string zones_set = "marovane:zones:set";
const std::string objects_set = "marovane:trackable_objects:set";
const std::string alarms_set = "marovane:alarms:set";

const std::string zone_prefix = "marovane:zones:";
const std::string object_prefix = "marovane:trackable_objects:";
const std::string alarm_prefix = "marovane:alarms:";

}  // namespace

const std::string context_debug::none_str(schema::absent_text);

context_debug::context_debug(context::context& context, redis::context::ptr connection,
                             libs::core::logger& logger, connector reconnect,
                             ops::service_metrics& metrics, libs::core::clock& clock)
    : m_context(context),
      m_clock(clock),
      m_writer(std::move(connection), std::move(reconnect), logger, metrics, clock),
      m_zones_subscription_handle(context.get_zones().subscribe(*this)),
      m_trackable_objects_subscription_handle(context.get_trackable_objects().subscribe(*this)),
      m_alarms_subscription_handle(context.get_alarms().subscribe(*this)) {
    rewrite();
}

void context_debug::rewrite() {
    rewrite_zones_and_objects();
    m_writer.clear_set(alarms_set, alarm_prefix);
    const timestamp now = m_clock.current_timestamp();
    m_context.get_alarms().for_each([&](const context::alarm& alarm) {
        write_alarm(alarm, now, "create_time");
        return true;
    });
}

void context_debug::rewrite_zones_and_objects() {
    const timestamp now = m_clock.current_timestamp();
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

context_debug::prepared_hashes context_debug::prepare(const context::context& context) {
    prepared_hashes out;
    out.zones.reserve(context.get_zones().size());
    context.get_zones().for_each([&](const context::zone& zone) {
        out.zones.push_back({zone.get_uid(), fields_of(zone)});
        return true;
    });
    out.objects.reserve(context.get_trackable_objects().size());
    context.get_trackable_objects().for_each([&](const context::trackable_object& object) {
        out.objects.push_back({object.get_uid(), fields_of(object)});
        return true;
    });
    return out;
}

void context_debug::resync_zones_and_objects(const context::context& previous,
                                             prepared_hashes prepared,
                                             const std::set<std::string>& changed_zones,
                                             const std::set<std::string>& changed_objects) {
    const std::string now = m_clock.current_timestamp().serialize();
    const auto resync = [&](const auto& now_held, const auto& held_before,
                            const std::string& prefix, const std::string& set,
                            std::vector<prepared_hash>& hashes,
                            const std::set<std::string>& changed, auto write) {
        held_before.for_each([&](const auto& item) {
            if (!now_held.is_exists(item.get_uid()))
                remove(prefix, set, item.get_uid());
            return true;
        });
        for (auto& hash : hashes) {
            if (changed.count(hash.uid))
                continue;
            const char* stamp = held_before.is_exists(hash.uid) ? "update_time" : "create_time";
            m_writer.put_hash(prefix + hash.uid, std::move(hash.values), stamp, now);
            m_writer.add_member(set, std::move(hash.uid));
        }
        for (const auto& uid : changed)
            if (const auto item = now_held.try_get(uid))
                write(*item, held_before.is_exists(uid) ? "update_time" : "create_time");
    };
    const timestamp stamp = m_clock.current_timestamp();
    resync(m_context.get_zones(), previous.get_zones(), zone_prefix, zones_set, prepared.zones,
           changed_zones,
           [&](const context::zone& zone, const char* field) { write_zone(zone, stamp, field); });
    resync(m_context.get_trackable_objects(), previous.get_trackable_objects(), object_prefix,
           objects_set, prepared.objects, changed_objects,
           [&](const context::trackable_object& object, const char* field) {
               write_object(object, stamp, field);
           });
}

// ---- single objects ---------------------------------------------------------------

mirror_writer::fields context_debug::fields_of(const context::zone& zone) {
    return schema::mirror_fields(schema::zone_fields, zone);
}

void context_debug::write_zone(const context::zone& zone, timestamp ts, const char* stamp_field) {
    m_writer.put_hash(zone_prefix + zone.get_uid(), fields_of(zone), stamp_field, ts.serialize());
    m_writer.add_member(zones_set, zone.get_uid());
}

mirror_writer::fields context_debug::fields_of(const context::trackable_object& object) {
    return schema::mirror_fields(schema::object_fields, object);
}

void context_debug::write_object(const context::trackable_object& object, timestamp ts,
                                 const char* stamp_field) {
    m_writer.put_hash(object_prefix + object.get_uid(), fields_of(object), stamp_field,
                      ts.serialize());
    m_writer.add_member(objects_set, object.get_uid());
}

void context_debug::write_alarm(const context::alarm& alarm, timestamp ts,
                                const char* stamp_field) {
    m_writer.put_hash(alarm_prefix + alarm.get_uid(),
                      schema::mirror_fields(schema::alarm_fields, alarm), stamp_field,
                      ts.serialize());
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
