#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ops/metric_kinds.hpp"

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

// The service's figures and health, written by the events loop and read by
// the metrics server. The service reports through one instance that is always
// there: with metrics off nobody reads it (unread_metrics() for the parts
// built without one).
//
// Each metric is declared once below, with its name, help and labels: /metrics
// shows them in this order, and a new one is one line here and the call that
// moves it. The update methods after them speak the service's words where a
// report moves several metrics or maps a text to a label.
//
// Threading: updates from the loop's thread (any single thread works); reads
// from any thread at any time. Plain atomic operations: no lock, so a scrape
// can never hold up the loop.
class service_metrics {
public:
    using clock = std::chrono::system_clock;
    using steady = std::chrono::steady_clock;

    service_metrics();
    service_metrics(const service_metrics&) = delete;
    service_metrics& operator=(const service_metrics&) = delete;

    // Every metric below, in order (for the collector).
    const metric_registry& all() const noexcept { return m_all; }

private:
    metric_registry m_all;

public:
    // ---- the metrics ----
    labelled_counter zone_events{m_all,
                                 "marovane_zone_events_total",
                                 "Zone events handled, by action",
                                 {{"action", {"enter", "leave", "other"}}}};
    labelled_counter notifications{
        m_all,
        "marovane_notifications_total",
        "Notifications handled, by the kind of object",
        {{"object", {"zone", "trackable_object", "trackable_object_groups", "other"}}}};
    labelled_counter malformed{m_all,
                               "marovane_malformed_messages_total",
                               "Messages of the platform that could not be used, by topic",
                               {{"topic", {"zone_event", "notify", "other"}}}};
    labelled_counter decisions{m_all,
                               "marovane_alarm_decisions_total",
                               "Alarms decided, by kind and decision",
                               {{"kind", {"keep_in", "keep_out"}}, {"decision", {"set", "clear"}}}};
    // In request_outcome's order.
    labelled_counter requests{
        m_all,
        "marovane_alarm_requests_total",
        "Alarm requests to the platform, by outcome",
        {{"outcome", {"accepted", "rejected", "failed", "retried", "not_found", "read_only"}}}};
    histogram request_duration{
        m_all,
        "marovane_alarm_request_duration_seconds",
        "Time from sending an alarm request to its answer or failure",
        {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5}};
    gauge requests_in_flight{m_all, "marovane_alarm_requests_in_flight",
                             "Alarm requests sent and not answered yet"};
    counter resends{m_all, "marovane_alarm_resends_total",
                    "Set alarms sent again after their re-send period"};
    gauge alarms_open{m_all, "marovane_alarms_open", "Alarms set now"};
    gauge alarms_undelivered{m_all, "marovane_alarms_undelivered",
                             "Alarms whose wanted state the platform has not confirmed yet"};
    computed_gauge oldest_undelivered{
        m_all, "marovane_alarm_oldest_undelivered_seconds",
        "How long the oldest undelivered alarm has waited (0: none)",
        [this] { return std::optional<double>(oldest_undelivered_seconds(steady::now())); }};
    counter alarms_without_mac{m_all, "marovane_alarms_without_mac_total",
                               "Alarms not raised because their object has no MAC address"};
    measure startup_duration{m_all, "marovane_startup_duration_seconds",
                             "Time the start-up took to load the platform"};
    measure rebuild_duration{m_all, "marovane_rebuild_duration_seconds",
                             "Time the last rebuild took"};
    labelled_counter rebuilds{m_all,
                              "marovane_rebuilds_total",
                              "Rebuilds from the platform, by result",
                              {{"result", {"ok", "failed"}}}};
    labelled_counter resyncs{m_all,
                             "marovane_resyncs_total",
                             "Resynchronisations from the platform started because something may "
                             "have been missed, by result",
                             {{"result", {"ok", "failed"}}}};
    measure last_successful_rebuild{m_all, "marovane_last_successful_rebuild_timestamp_seconds",
                                    "Unix time of the last successful start-up or rebuild", 0.0};
    measure mirror_up{m_all, "marovane_redis_mirror_up", "1 while the Redis mirror works"};
    counter mirror_failures{m_all, "marovane_redis_mirror_failures_total",
                            "Failed writes to the Redis mirror"};
    measure stream_connection{m_all, "marovane_stream_connected",
                              "1 while the platform's message stream is connected"};
    counter stream_disconnects{m_all, "marovane_stream_disconnects_total",
                               "Connections to the platform's message stream lost"};
    counter stream_messages{m_all, "marovane_stream_messages_total",
                            "Frames received from the platform's message stream"};
    computed_gauge stream_last_message_age{m_all, "marovane_stream_last_message_age_seconds",
                                           "Seconds since the last frame of the message stream",
                                           [this] { return stream_last_message_age_seconds(); }};
    computed_gauge healthy{m_all, "marovane_healthy", "1 while /healthz answers 200",
                           [this] { return std::optional<double>(health().ok ? 1 : 0); }};

    // ---- updates in the service's words (the loop's thread) ----
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
    void undelivered(std::size_t count, std::optional<steady::time_point> since,
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
                       std::optional<steady::time_point> last_message);

    // ---- reads (any thread) ----
    // Seconds from the stream's last frame to now; nothing before the first.
    std::optional<double> stream_last_message_age_seconds() const;
    // Seconds the oldest undelivered alarm has waited at now; 0 when none.
    double oldest_undelivered_seconds(steady::time_point now) const;

    // 200 when the service stands, its message stream is connected (or has
    // not been reported on: a heartbeat time-out counts as a disconnection),
    // no needed resynchronisation is pending, the last start-up or rebuild
    // succeeded and no alarm has waited for the platform's confirmation
    // longer than the bound.
    health_report health() const { return health_at(steady::now()); }
    health_report health_at(steady::time_point now) const;

    // How long an alarm may wait for the platform's confirmation before
    // /healthz turns red, unless configured.
    static constexpr std::chrono::seconds default_undelivered_after{60};

private:
    // Steady-clock nanoseconds of the oldest undelivered alarm's wait; 0: none.
    std::atomic<std::int64_t> m_undelivered_since_ns{0};
    std::atomic<std::int64_t> m_undelivered_after_s{default_undelivered_after.count()};
    // Replaced by the loop when the oldest undelivered alarm changes.
    std::shared_ptr<const std::string> m_oldest_undelivered;
    std::atomic<bool> m_stands{false};
    // Steady-clock nanoseconds of the last frame; no_frame_yet before one.
    static constexpr std::int64_t no_frame_yet = std::numeric_limits<std::int64_t>::min();
    std::atomic<std::int64_t> m_stream_last_message_ns{no_frame_yet};
    std::atomic<bool> m_last_build_ok{true};
    // Replaced whole by the loop (rarely), read whole by scrapes.
    std::shared_ptr<const std::string> m_build_failure;
    // Empty when no resynchronisation is pending; replaced whole like the above.
    std::shared_ptr<const std::string> m_resync_pending;
};

// Where a part built without the service's instance reports (tests, tools):
// one instance for the process that nobody reads.
service_metrics& unread_metrics();

}  // namespace zentu::ops
