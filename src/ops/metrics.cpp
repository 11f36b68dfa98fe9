#include "ops/metrics.hpp"

#include <algorithm>
#include <cctype>

namespace zentu::ops {
namespace {

constexpr auto relaxed = std::memory_order_relaxed;

// The index of value among names; the last index ("other") when absent.
template <std::size_t N>
std::size_t index_of(const std::array<std::string_view, N>& names, std::string_view value) {
    const auto found = std::find(names.begin(), names.end() - 1, value);
    return static_cast<std::size_t>(found - names.begin());
}

std::string lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

double seconds(std::chrono::nanoseconds duration) {
    return std::chrono::duration<double>(duration).count();
}

}  // namespace

service_metrics::service_metrics()
    : m_oldest_undelivered(std::make_shared<const std::string>()),
      m_build_failure(std::make_shared<const std::string>()),
      m_resync_pending(std::make_shared<const std::string>()) {}

void service_metrics::zone_event_handled(std::string_view action) {
    m_zone_events[index_of(zone_actions, action)].fetch_add(1, relaxed);
}

void service_metrics::notification_handled(std::string_view object) {
    m_notifications[index_of(notification_objects, lower(object))].fetch_add(1, relaxed);
}

void service_metrics::malformed_message(std::string_view topic) {
    m_malformed[index_of(topics, topic)].fetch_add(1, relaxed);
}

void service_metrics::alarm_decided(alarm_kind kind, alarm_decision decision) {
    const auto index =
        static_cast<std::size_t>(kind) * decisions.size() + static_cast<std::size_t>(decision);
    m_decisions[index].fetch_add(1, relaxed);
}

std::uint64_t service_metrics::decisions_made(alarm_kind kind, alarm_decision decision) const {
    const auto index =
        static_cast<std::size_t>(kind) * decisions.size() + static_cast<std::size_t>(decision);
    return m_decisions[index].load(relaxed);
}

void service_metrics::request_started() {
    m_in_flight.fetch_add(1, relaxed);
}

void service_metrics::request_finished(request_outcome outcome, std::chrono::nanoseconds latency) {
    m_in_flight.fetch_sub(1, relaxed);
    m_requests[static_cast<std::size_t>(outcome)].fetch_add(1, relaxed);
    const double value = seconds(latency);
    const auto bucket = std::lower_bound(latency_bounds.begin(), latency_bounds.end(), value);
    m_latency_buckets[static_cast<std::size_t>(bucket - latency_bounds.begin())].fetch_add(1,
                                                                                           relaxed);
    m_latency_sum_ns.fetch_add(
        static_cast<std::uint64_t>(std::max<std::int64_t>(latency.count(), 0)), relaxed);
}

void service_metrics::request_retried() {
    m_requests[static_cast<std::size_t>(request_outcome::retried)].fetch_add(1, relaxed);
}

void service_metrics::request_abandoned() {
    m_in_flight.fetch_sub(1, relaxed);
}

std::uint64_t service_metrics::requests(request_outcome outcome) const {
    return m_requests[static_cast<std::size_t>(outcome)].load(relaxed);
}

service_metrics::latency_snapshot service_metrics::latency() const {
    latency_snapshot snapshot;
    // Each value is exact; together they may be one request apart, which a
    // scrape tolerates.
    for (std::size_t i = 0; i < snapshot.buckets.size(); ++i)
        snapshot.buckets[i] = m_latency_buckets[i].load(relaxed);
    snapshot.count = 0;
    for (const auto bucket : snapshot.buckets)
        snapshot.count += bucket;
    snapshot.sum_seconds = static_cast<double>(m_latency_sum_ns.load(relaxed)) / 1e9;
    return snapshot;
}

void service_metrics::resend() {
    m_resends.fetch_add(1, relaxed);
}

void service_metrics::open_alarms(std::int64_t count) {
    m_open_alarms.store(count, relaxed);
}

void service_metrics::undelivered(std::size_t count,
                                  std::optional<std::chrono::steady_clock::time_point> since,
                                  const std::string& oldest_uid) {
    m_undelivered.store(count, relaxed);
    const std::int64_t since_ns =
        since && count > 0 ? std::max<std::int64_t>(since->time_since_epoch().count(), 1) : 0;
    if (since_ns != m_undelivered_since_ns.load(relaxed))
        std::atomic_store(&m_oldest_undelivered, std::make_shared<const std::string>(oldest_uid));
    m_undelivered_since_ns.store(since_ns);
}

void service_metrics::alarm_without_mac() {
    m_without_mac.fetch_add(1, relaxed);
}

void service_metrics::set_undelivered_after(std::chrono::seconds bound) {
    m_undelivered_after_s.store(bound.count(), relaxed);
}

double service_metrics::oldest_undelivered_seconds(
    std::chrono::steady_clock::time_point now) const {
    const auto since_ns = m_undelivered_since_ns.load();
    if (since_ns == 0)
        return 0;
    const auto waited = now.time_since_epoch() - std::chrono::nanoseconds(since_ns);
    return std::max(0.0, seconds(waited));
}

void service_metrics::startup_finished(std::chrono::nanoseconds duration) {
    m_startup_seconds.store(seconds(duration), relaxed);
    m_last_success_time.store(seconds(clock::now().time_since_epoch()), relaxed);
    m_last_build_ok.store(true);
}

void service_metrics::rebuild_finished(bool ok, std::chrono::nanoseconds duration,
                                       clock::time_point when, const std::string& failure) {
    m_rebuild_seconds.store(seconds(duration), relaxed);
    m_rebuilds[ok ? 0 : 1].fetch_add(1, relaxed);
    if (ok) {
        m_last_success_time.store(seconds(when.time_since_epoch()), relaxed);
    } else {
        std::atomic_store(&m_build_failure, std::make_shared<const std::string>(failure));
    }
    m_last_build_ok.store(ok);
}

void service_metrics::mirror_state(bool up) {
    m_mirror_up.store(up ? 1 : 0, relaxed);
}

void service_metrics::mirror_failure() {
    m_mirror_failures.fetch_add(1, relaxed);
}

void service_metrics::service_stands(bool stands) {
    m_stands.store(stands);
}

void service_metrics::stream_connected(bool connected) {
    m_stream_connected.store(connected ? 1 : 0);
}

void service_metrics::resync_finished(bool ok) {
    m_resyncs[ok ? 0 : 1].fetch_add(1, relaxed);
}

void service_metrics::resync_pending(const std::string& why) {
    if (*std::atomic_load(&m_resync_pending) != why)
        std::atomic_store(&m_resync_pending, std::make_shared<const std::string>(why));
}

void service_metrics::stream_health(
    bool connected, std::uint64_t disconnects, std::uint64_t messages,
    std::optional<std::chrono::steady_clock::time_point> last_message) {
    m_stream_disconnects.store(disconnects, relaxed);
    m_stream_messages.store(messages, relaxed);
    if (last_message)
        m_stream_last_message_ns.store(last_message->time_since_epoch().count(), relaxed);
    stream_connected(connected);
}

std::optional<double> service_metrics::stream_last_message_age_seconds() const {
    const auto last = m_stream_last_message_ns.load(relaxed);
    if (last == no_frame_yet)
        return std::nullopt;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::max(0.0, seconds(now - std::chrono::nanoseconds(last)));
}

health_report service_metrics::health_at(std::chrono::steady_clock::time_point now) const {
    if (!m_stands.load())
        return {false, "the service is starting"};
    if (m_stream_connected.load() == 0)
        return {false, "message stream disconnected"};
    if (const auto pending = std::atomic_load(&m_resync_pending); !pending->empty())
        return {false, "resynchronisation pending: " + *pending};
    if (!m_last_build_ok.load()) {
        const auto failure = std::atomic_load(&m_build_failure);
        return {false, "the last rebuild failed" + (failure->empty() ? "" : ": " + *failure)};
    }
    // Whole seconds, as the bound is given.
    const auto waited = static_cast<std::int64_t>(oldest_undelivered_seconds(now));
    if (m_undelivered_since_ns.load() != 0 && waited > m_undelivered_after_s.load(relaxed)) {
        const auto uid = std::atomic_load(&m_oldest_undelivered);
        return {false, "alarm " + *uid + " undelivered for " + std::to_string(waited) + " s"};
    }
    return {true, "ok"};
}

}  // namespace zentu::ops
