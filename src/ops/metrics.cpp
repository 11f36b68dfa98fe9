#include "ops/metrics.hpp"

#include <algorithm>
#include <cctype>

namespace zentu::ops {
namespace {

constexpr auto relaxed = std::memory_order_relaxed;

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
    zone_events.add({zone_events.index_or_last(action)});
}

void service_metrics::notification_handled(std::string_view object) {
    notifications.add({notifications.index_or_last(lower(object))});
}

void service_metrics::malformed_message(std::string_view topic) {
    malformed.add({malformed.index_or_last(topic)});
}

void service_metrics::alarm_decided(alarm_kind kind, alarm_decision decision) {
    decisions.add({static_cast<std::size_t>(kind), static_cast<std::size_t>(decision)});
}

void service_metrics::request_started() {
    requests_in_flight.add(1);
}

void service_metrics::request_finished(request_outcome outcome, std::chrono::nanoseconds latency) {
    requests_in_flight.add(-1);
    requests.add({static_cast<std::size_t>(outcome)});
    request_duration.observe(latency);
}

void service_metrics::request_retried() {
    requests.add({static_cast<std::size_t>(request_outcome::retried)});
}

void service_metrics::request_abandoned() {
    requests_in_flight.add(-1);
}

void service_metrics::resend() {
    resends.add();
}

void service_metrics::open_alarms(std::int64_t count) {
    alarms_open.set(count);
}

void service_metrics::undelivered(std::size_t count, std::optional<steady::time_point> since,
                                  const std::string& oldest_uid) {
    alarms_undelivered.set(static_cast<std::int64_t>(count));
    const std::int64_t since_ns =
        since && count > 0 ? std::max<std::int64_t>(since->time_since_epoch().count(), 1) : 0;
    if (since_ns != m_undelivered_since_ns.load(relaxed))
        std::atomic_store(&m_oldest_undelivered, std::make_shared<const std::string>(oldest_uid));
    m_undelivered_since_ns.store(since_ns);
}

void service_metrics::alarm_without_mac() {
    alarms_without_mac.add();
}

void service_metrics::set_undelivered_after(std::chrono::seconds bound) {
    m_undelivered_after_s.store(bound.count(), relaxed);
}

double service_metrics::oldest_undelivered_seconds(steady::time_point now) const {
    const auto since_ns = m_undelivered_since_ns.load();
    if (since_ns == 0)
        return 0;
    const auto waited = now.time_since_epoch() - std::chrono::nanoseconds(since_ns);
    return std::max(0.0, seconds(waited));
}

void service_metrics::startup_finished(std::chrono::nanoseconds duration) {
    startup_duration.set(seconds(duration));
    last_successful_rebuild.set(seconds(clock::now().time_since_epoch()));
    m_last_build_ok.store(true);
}

void service_metrics::rebuild_finished(bool ok, std::chrono::nanoseconds duration,
                                       clock::time_point when, const std::string& failure) {
    rebuild_duration.set(seconds(duration));
    rebuilds.add({ok ? 0u : 1u});
    if (ok) {
        last_successful_rebuild.set(seconds(when.time_since_epoch()));
    } else {
        std::atomic_store(&m_build_failure, std::make_shared<const std::string>(failure));
    }
    m_last_build_ok.store(ok);
}

void service_metrics::mirror_state(bool up) {
    mirror_up.set(up ? 1 : 0);
}

void service_metrics::mirror_failure() {
    mirror_failures.add();
}

void service_metrics::service_stands(bool stands) {
    m_stands.store(stands);
}

void service_metrics::stream_connected(bool connected) {
    stream_connection.set(connected ? 1 : 0);
}

void service_metrics::resync_finished(bool ok) {
    resyncs.add({ok ? 0u : 1u});
}

void service_metrics::resync_pending(const std::string& why) {
    if (*std::atomic_load(&m_resync_pending) != why)
        std::atomic_store(&m_resync_pending, std::make_shared<const std::string>(why));
}

void service_metrics::stream_health(bool connected, std::uint64_t disconnects,
                                    std::uint64_t messages,
                                    std::optional<steady::time_point> last_message) {
    stream_disconnects.set(disconnects);
    stream_messages.set(messages);
    if (last_message)
        m_stream_last_message_ns.store(last_message->time_since_epoch().count(), relaxed);
    stream_connected(connected);
}

std::optional<double> service_metrics::stream_last_message_age_seconds() const {
    const auto last = m_stream_last_message_ns.load(relaxed);
    if (last == no_frame_yet)
        return std::nullopt;
    const auto now = steady::now().time_since_epoch();
    return std::max(0.0, seconds(now - std::chrono::nanoseconds(last)));
}

health_report service_metrics::health_at(steady::time_point now) const {
    if (!m_stands.load())
        return {false, "the service is starting"};
    if (stream_connection.value() == 0.0)
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

service_metrics& unread_metrics() {
    static service_metrics nobody_reads;
    return nobody_reads;
}

}  // namespace zentu::ops
