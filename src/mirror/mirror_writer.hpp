#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "context/packed_fields.hpp"
#include "core/clock.hpp"
#include "core/logger.hpp"
#include "ops/metrics.hpp"
#include "redis/redis_context.hpp"

namespace zentu {

// Writes the Redis mirror on a thread of its own, so that a slow, stopped or
// missing Redis never holds up the events loop.
//
// It keeps a shadow of what the mirror must hold (every hash and set member
// written), so a hash whose fields did not change is not written again, and a
// lost connection is repaired without the owner: while Redis is away the
// changes only reach the shadow; the connection is tried again at a backing-off
// period (1 s doubling to 30 s), and once it is back the mirror is rewritten
// from the shadow. Commands go out pipelined, in the order they were queued.
// A failed command is logged (at most one line a second, with a count of the
// ones held back) and never reaches the writer's callers.
//
// Nothing may change for hours, so the writer does not wait for a write to
// find the mirror gone: every probe period it counts the members of each set
// in Redis (SCARD, a few commands). A connection that fails there is lost as
// above; a count that differs from the shadow (Redis flushed, or restarted
// behind the same connection) rewrites the mirror at once.
//
// Threading: the queuing operations and flush() may be called from any one
// thread (the events loop); everything else runs on the writer's thread.
class mirror_writer {
public:
    using connector = std::function<redis::context::ptr()>;
    using time_point = libs::core::clock::time_point;
    using duration = std::chrono::nanoseconds;
    using fields = packed_fields;
    static constexpr std::chrono::seconds default_probe_period{5};

    // A null connection starts with the mirror suspended: the connector is
    // tried at once and then backing off. Without a connector a lost
    // connection is never replaced; metrics hears whether the mirror is up
    // and of every failure.
    mirror_writer(redis::context::ptr connection, connector reconnect,
                  const libs::core::component_logger& logger,
                  ops::service_metrics& metrics = ops::unread_metrics(),
                  const libs::core::clock& clock = libs::core::real_clock(),
                  duration probe_period = default_probe_period);
    ~mirror_writer();
    mirror_writer(const mirror_writer&) = delete;
    mirror_writer& operator=(const mirror_writer&) = delete;

    // Sets the hash's fields, and the stamp field (e.g. "update_time"), unless
    // the fields are those it holds already.
    void put_hash(std::string key, fields values, std::string stamp_field, std::string stamp);
    void delete_hash(std::string key);
    void add_member(std::string set, std::string member);
    void remove_member(std::string set, std::string member);
    // Deletes the hash (prefix + member) of every member the set holds in
    // Redis, and the members: the mirror of a kind starts over.
    void clear_set(std::string set, std::string hash_prefix);

    // Waits until everything queued before the call was written (or, while
    // Redis is away, taken into the shadow).
    void flush();
    bool is_connected() const noexcept { return m_connected; }

private:
    struct operation {
        enum class kind { put_hash, delete_hash, add_member, remove_member, clear_set } what;
        std::string key;
        std::string value;  // set member, or the hash prefix of clear_set
        fields values;
        std::string stamp_field;
        std::string stamp;
    };
    using command = std::vector<std::string>;

    void enqueue(operation op);
    void run();
    // Applies the operations to the shadow; returns the commands they need.
    std::vector<command> apply(std::vector<operation>& batch);
    void write(const std::vector<command>& commands);
    void write_slice(const std::vector<command>& commands, std::size_t begin, std::size_t end);
    void try_reconnect();
    // Tells a lost connection or a lost mirror from a sound one.
    void probe();
    std::vector<command> rewrite_commands();
    std::vector<command> clear_commands(const std::string& set, const std::string& hash_prefix);
    // Logs the exception being handled, at most one line a second.
    void report_failure();
    void connection_lost();

    const libs::core::component_logger& m_logger;
    const libs::core::clock& m_clock;
    connector m_connector;
    ops::service_metrics& m_metrics;
    const duration m_probe_period;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::vector<operation> m_queue;
    std::uint64_t m_queued = 0;
    std::uint64_t m_written = 0;
    bool m_stopping = false;
    // The writer sleeps: only then does queuing need to wake it.
    bool m_idle = false;
    std::atomic<bool> m_connected{false};

    // Writer thread only.
    redis::context::ptr m_redis;
    // A hash as the mirror holds it: the fields last put and the stamps.
    struct stored_hash {
        fields values;
        fields stamps;
    };
    std::map<std::string, stored_hash, std::less<>> m_hashes;
    std::map<std::string, std::set<std::string, std::less<>>, std::less<>> m_sets;
    // The sets cleared so far, with the prefix of their hashes: a rewrite
    // clears them again before it writes the shadow.
    std::map<std::string, std::string> m_set_prefixes;
    time_point m_next_reconnect{};
    duration m_reconnect_backoff = std::chrono::seconds(1);
    // The last reconnection failure logged: the same cause is logged once.
    std::string m_reconnect_failure;
    time_point m_next_probe{};
    // The last probe found the mirror short: a lasting difference is logged
    // once, and probed at a period that doubles up to 5 minutes.
    bool m_mirror_short = false;
    duration m_short_probe_period{};
    time_point m_last_error_log{};
    std::size_t m_suppressed_errors = 0;
    bool m_logged_any_error = false;

    std::thread m_thread;
};

}  // namespace zentu
