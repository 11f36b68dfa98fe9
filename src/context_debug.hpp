#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "context/context.hpp"
#include "core/logger.hpp"
#include "redis/redis_context.hpp"

namespace zentu {

// Mirrors zones, trackable objects and alarms of the context into Redis for
// inspection: one hash per object and one set of uids per kind.
//
// The mirror is a debugging aid and must never disturb the service: a failed
// Redis command is logged (at most one line per second while failures last)
// and swallowed. A broken connection is dropped; on later changes the mirror
// reconnects through its connector (at most once per second, backing off
// while Redis stays away) and then rewrites the whole mirror from the
// context, so it converges again.
//
// Threading: events-loop thread only, inside repository notifications; every
// Redis command blocks until its reply arrives.
class context_debug : public context::context::zones::observer,
                      public context::context::trackable_objects::observer,
                      public context::context::alarms::observer {
public:
    using timestamp = libs::core::timestamp;
    using connector = std::function<redis::context::ptr()>;
    using clock = std::chrono::steady_clock;

    static const std::string none_str;

    // Clears the previous mirror and writes the context's current objects.
    // Without a connector a broken connection is never replaced.
    context_debug(context::context& context, redis::context& redis_context,
                  libs::core::logger& logger, connector reconnect = {});
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

    // Clears the mirror and writes the context's objects again (failures are
    // contained like every other write).
    void rewrite();

    // Whether the mirror currently has a working connection.
    bool is_connected() const noexcept { return m_redis != nullptr; }

private:
    template <typename Write>
    void guarded(Write&& write);
    bool ensure_connection();
    void handle_failure();
    void rewrite_all(timestamp now);
    void clear_kind(const std::string& set_key, const std::string& delete_template);

    void write_zone(const context::zone& zone, timestamp ts, const char* time_field);
    void write_object(const context::trackable_object& object, timestamp ts,
                      const char* time_field);
    void write_alarm(const context::alarm& alarm, timestamp ts, const char* time_field);
    void remove(const char* delete_template, const std::string& set_key, const std::string& uid);

    context::context& m_context;
    redis::context* m_redis;
    redis::context::ptr m_own_redis;
    connector m_connector;
    libs::context_utils::objects_repository<context::zone>::subscription_handle
        m_zones_subscription_handle;
    libs::context_utils::objects_repository<context::trackable_object>::subscription_handle
        m_trackable_objects_subscription_handle;
    libs::context_utils::objects_repository<context::alarm>::subscription_handle
        m_alarms_subscription_handle;
    libs::core::logger& m_logger;

    clock::time_point m_next_reconnect{};
    clock::duration m_reconnect_backoff = std::chrono::seconds(1);
    clock::time_point m_last_error_log{};
    std::size_t m_suppressed_errors = 0;
    bool m_logged_any_error = false;
};

}  // namespace zentu
