#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "context/context.hpp"
#include "core/clock.hpp"
#include "core/logger.hpp"
#include "mirror/mirror_writer.hpp"
#include "redis/redis_context.hpp"

namespace zentu {

// Mirrors zones, trackable objects and alarms of the context into Redis for
// inspection: one hash per object and one set of uids per kind.
//
// The mirror is a debugging aid and must never disturb the service: the
// writes go to a mirror_writer, which sends them from a thread of its own,
// skips a hash that did not change, contains every Redis failure and, when a
// lost connection comes back, rewrites the whole mirror.
//
// Threading: events-loop thread only, inside repository notifications; no
// Redis command is ever waited for there.
class context_debug : public context::context::zones::observer,
                      public context::context::trackable_objects::observer,
                      public context::context::alarms::observer {
public:
    using timestamp = libs::core::timestamp;
    using connector = mirror_writer::connector;

    static const std::string none_str;

    // Clears the previous mirror and writes the context's current objects. A
    // null connection (Redis away at start) starts with the mirror suspended:
    // it is cleared and written once the connector succeeds. Without a
    // connector a broken connection is never replaced.
    // The clock stamps the rewrites.
    context_debug(context::context& context, redis::context::ptr connection,
                  libs::core::logger& logger, connector reconnect = {},
                  ops::service_metrics& metrics = ops::unread_metrics(),
                  libs::core::clock& clock = libs::core::real_clock());
    ~context_debug() override = default;

    context_debug(const context_debug&) = delete;
    context_debug& operator=(const context_debug&) = delete;

    void after_creating(const context::zone& zone, timestamp ts) override;
    void after_updating(const context::zone& zone, timestamp ts) override;
    void before_deleting(const context::zone& zone, timestamp ts) override;

    void after_creating(const context::trackable_object& object, timestamp ts) override;
    void after_updating(const context::trackable_object& object, timestamp ts) override;
    void before_deleting(const context::trackable_object& object, timestamp ts) override;

    void after_creating(const context::alarm& alarm, timestamp ts) override;
    void after_updating(const context::alarm& alarm, timestamp ts) override;
    void before_deleting(const context::alarm& alarm, timestamp ts) override;

    // Clears the mirror and writes the context's objects again.
    void rewrite();
    struct prepared_hash {
        std::string uid;
        mirror_writer::fields values;
    };
    // The hashes of a context's zones and trackable objects, formatted where
    // the context was built, away from the loop.
    struct prepared_hashes {
        std::vector<prepared_hash> zones;
        std::vector<prepared_hash> objects;
    };
    static prepared_hashes prepare(const context::context& context);

    // After the context's zones and trackable objects were replaced (previous
    // holds the ones it had): removes the vanished ones from the mirror and
    // queues the prepared hashes, which the writer skips where nothing
    // changed; the zones and objects changed since they were prepared are
    // formatted anew.
    void resync_zones_and_objects(const context::context& previous, prepared_hashes prepared,
                                  const std::set<std::string>& changed_zones,
                                  const std::set<std::string>& changed_objects);
    // Waits until every change so far has reached Redis (or, while Redis is
    // away, the writer's shadow).
    void flush() { m_writer.flush(); }
    // Whether the mirror currently has a working connection.
    bool is_connected() const noexcept { return m_writer.is_connected(); }

private:
    void rewrite_zones_and_objects();
    static mirror_writer::fields fields_of(const context::zone& zone);
    static mirror_writer::fields fields_of(const context::trackable_object& object);
    void write_zone(const context::zone& zone, timestamp ts, const char* stamp_field);
    void write_object(const context::trackable_object& object, timestamp ts,
                      const char* stamp_field);
    void write_alarm(const context::alarm& alarm, timestamp ts, const char* stamp_field);
    void remove(const std::string& hash_prefix, const std::string& set_key, const std::string& uid);

    context::context& m_context;
    libs::core::clock& m_clock;
    mirror_writer m_writer;
    libs::context_utils::objects_repository<context::zone>::subscription_handle
        m_zones_subscription_handle;
    libs::context_utils::objects_repository<context::trackable_object>::subscription_handle
        m_trackable_objects_subscription_handle;
    libs::context_utils::objects_repository<context::alarm>::subscription_handle
        m_alarms_subscription_handle;
};

}  // namespace zentu
