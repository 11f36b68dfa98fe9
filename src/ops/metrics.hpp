#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zentu::ops {

enum class alarm_kind { keep_in, keep_out };
enum class alarm_decision { set, clear };
// accepted: 2xx, or 404 to a clear; rejected: another HTTP status; failed: no
// answer (transport error, time-out); retried: a failed request sent again;
// not_found: a 404 to a set, taken as delivered; read_only: not sent at all
// (the service may not change the platform), never counted as accepted.
enum class request_outcome { accepted, rejected, failed, retried, not_found, read_only };

// What /healthz answers: ok, or why not.
struct health_report {
    bool ok = false;
    std::string reason;
};

// The service's counters and health, written by the events loop and read by
// the metrics server. Threading: the update methods are called from the loop's
// thread (any single thread works); every read may come from any thread at
// any time. Updates and reads are plain atomic operations: no lock, so a
// scrape can never hold up the loop.
class service_metrics {
public:
    using clock = std::chrono::system_clock;

    // Upper bounds of the request-latency histogram, in seconds.
    static constexpr std::array<double, 12> latency_bounds{0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                           0.1,   0.25,   0.5,   1,    2.5,   5};

    // Label values, in enumeration order.
    static constexpr std::array<std::string_view, 3> zone_actions{"enter", "leave", "other"};
    static constexpr std::array<std::string_view, 4> notification_objects{
        "zone", "trackable_object", "trackable_object_groups", "other"};
    static constexpr std::array<std::string_view, 3> topics{"zone_event", "notify", "other"};
    static constexpr std::array<std::string_view, 2> alarm_kinds{"keep_in", "keep_out"};
    static constexpr std::array<std::string_view, 2> decisions{"set", "clear"};
    static constexpr std::array<std::string_view, 6> outcomes{"accepted", "rejected",  "failed",
                                                              "retried",  "not_found", "read_only"};
    // How long an alarm may wait for the platform's confirmation before
    // /healthz turns red, unless configured.
    static constexpr std::chrono::seconds default_undelivered_after{60};
    static constexpr std::array<std::string_view, 2> resync_results{"ok", "failed"};

    service_metrics();
    service_metrics(const service_metrics&) = delete;
    service_metrics& operator=(const service_metrics&) = delete;

    // ---- updates (the loop's thread) ----
    // action of a "zone_event" message: "enter", "leave" (anything else counts as other).
    void zone_event_handled(std::string_view action);
    // "object" of a "notify" message: "ZONE", "TRACKABLE_OBJECT", "TRACKABLE_OBJECT_GROUPS".
    void notification_handled(std::string_view object);
    // A message that could not be used; topic "zone_event" or "notify".
    void malformed_message(std::string_view topic);
    void alarm_decided(alarm_kind kind, alarm_decision decision);
    void request_started();
    void request_finished(request_outcome outcome, std::chrono::nanoseconds latency);
    // A failed request is sent again (counted as "retried"; the new request
    // starts with request_started()).
    void request_retried();
    // A request in flight that is no longer waited for: it leaves the count
    // in flight without an outcome.
    void request_abandoned();
    void resend();
    void open_alarms(std::int64_t count);
    // Alarms whose wanted state the platform has not confirmed yet, and since
    // when the oldest of them waits (steady clock; none when count is 0).
    void undelivered(std::size_t count, std::optional<std::chrono::steady_clock::time_point> since,
                     const std::string& oldest_uid);
    // An alarm that was not raised because its object has no MAC address.
    void alarm_without_mac();
    // Set before serving: how long an alarm may wait for its confirmation.
    void set_undelivered_after(std::chrono::seconds bound);
    void startup_finished(std::chrono::nanoseconds duration);
    // failure: why the rebuild failed (ignored when ok).
    void rebuild_finished(bool ok, std::chrono::nanoseconds duration, clock::time_point when,
                          const std::string& failure = {});
    void mirror_state(bool up);
    void mirror_failure();
    void service_stands(bool stands);
    void stream_connected(bool connected);
    // A resynchronisation from the platform (a rebuild started because
    // something may have been missed) ended.
    void resync_finished(bool ok);
    // Why a needed resynchronisation keeps the service from being well;
    // empty when none does.
    void resync_pending(const std::string& why);
    // What the message stream says of itself: connected, connections lost and
    // frames received so far, when the last frame came (steady clock).
    void stream_health(bool connected, std::uint64_t disconnects, std::uint64_t messages,
                       std::optional<std::chrono::steady_clock::time_point> last_message);

    // ---- reads (any thread) ----
    struct latency_snapshot {
        std::array<std::uint64_t, latency_bounds.size() + 1>
            buckets{};  // not cumulative; last: +Inf
        std::uint64_t count = 0;
        double sum_seconds = 0;
    };

    std::uint64_t zone_events(std::size_t action) const { return m_zone_events[action].load(); }
    std::uint64_t notifications(std::size_t object) const { return m_notifications[object].load(); }
    std::uint64_t malformed(std::size_t topic) const { return m_malformed[topic].load(); }
    std::uint64_t decisions_made(alarm_kind kind, alarm_decision decision) const;
    std::uint64_t requests(request_outcome outcome) const;
    latency_snapshot latency() const;
    std::int64_t requests_in_flight() const { return m_in_flight.load(); }
    std::uint64_t resends() const { return m_resends.load(); }
    std::int64_t alarms_open() const { return m_open_alarms.load(); }
    // Seconds; negative until known.
    double startup_seconds() const { return m_startup_seconds.load(); }
    double last_rebuild_seconds() const { return m_rebuild_seconds.load(); }
    std::uint64_t rebuilds(bool ok) const { return m_rebuilds[ok ? 0 : 1].load(); }
    // Unix time of the last successful rebuild (or start-up); 0 before.
    double last_successful_rebuild_time() const { return m_last_success_time.load(); }
    // 1 up, 0 down, -1 not known yet.
    int mirror_up() const { return m_mirror_up.load(); }
    std::uint64_t mirror_failures() const { return m_mirror_failures.load(); }
    // 1 connected, 0 not, -1 not reported yet.
    int stream_connected() const { return m_stream_connected.load(); }
    std::uint64_t stream_disconnects() const { return m_stream_disconnects.load(); }
    std::uint64_t stream_messages() const { return m_stream_messages.load(); }
    // Seconds from the stream's last frame to now; nothing before the first.
    std::optional<double> stream_last_message_age_seconds() const;
    std::uint64_t undelivered_count() const { return m_undelivered.load(); }
    // Seconds the oldest undelivered alarm has waited at now; 0 when none.
    double oldest_undelivered_seconds(std::chrono::steady_clock::time_point now) const;
    std::uint64_t alarms_without_mac() const { return m_without_mac.load(); }

    std::uint64_t resyncs(bool ok) const { return m_resyncs[ok ? 0 : 1].load(); }

    // 200 when the service stands, its message stream is connected (or has
    // not been reported on: a heartbeat time-out counts as a disconnection),
    // no needed resynchronisation is pending, the last start-up or rebuild
    // succeeded and no alarm has waited for the
    // platform's confirmation longer than the bound.
    health_report health() const { return health_at(std::chrono::steady_clock::now()); }
    health_report health_at(std::chrono::steady_clock::time_point now) const;

private:
    template <std::size_t N>
    using counters = std::array<std::atomic<std::uint64_t>, N>;

    counters<zone_actions.size()> m_zone_events{};
    counters<notification_objects.size()> m_notifications{};
    counters<topics.size()> m_malformed{};
    counters<alarm_kinds.size() * decisions.size()> m_decisions{};
    counters<outcomes.size()> m_requests{};
    counters<latency_bounds.size() + 1> m_latency_buckets{};
    std::atomic<std::uint64_t> m_latency_sum_ns{0};
    std::atomic<std::int64_t> m_in_flight{0};
    std::atomic<std::uint64_t> m_resends{0};
    std::atomic<std::int64_t> m_open_alarms{0};
    std::atomic<double> m_startup_seconds{-1};
    std::atomic<double> m_rebuild_seconds{-1};
    counters<2> m_rebuilds{};
    std::atomic<double> m_last_success_time{0};
    std::atomic<int> m_mirror_up{-1};
    std::atomic<std::uint64_t> m_mirror_failures{0};
    std::atomic<std::uint64_t> m_undelivered{0};
    // Steady-clock nanoseconds of the oldest undelivered alarm's wait; 0: none.
    std::atomic<std::int64_t> m_undelivered_since_ns{0};
    std::atomic<std::int64_t> m_undelivered_after_s{default_undelivered_after.count()};
    std::atomic<std::uint64_t> m_without_mac{0};
    // Replaced by the loop when the oldest undelivered alarm changes.
    std::shared_ptr<const std::string> m_oldest_undelivered;
    counters<2> m_resyncs{};

    std::atomic<bool> m_stands{false};
    // 1 connected, 0 not, -1 never reported.
    std::atomic<int> m_stream_connected{-1};
    std::atomic<std::uint64_t> m_stream_disconnects{0};
    std::atomic<std::uint64_t> m_stream_messages{0};
    // Steady-clock nanoseconds of the last frame; no_frame_yet before one.
    static constexpr std::int64_t no_frame_yet = std::numeric_limits<std::int64_t>::min();
    std::atomic<std::int64_t> m_stream_last_message_ns{no_frame_yet};
    std::atomic<bool> m_last_build_ok{true};
    // Replaced whole by the loop (rarely), read whole by scrapes.
    std::shared_ptr<const std::string> m_build_failure;
    // Empty when no resynchronisation is pending; replaced whole like the above.
    std::shared_ptr<const std::string> m_resync_pending;
};

}  // namespace zentu::ops
