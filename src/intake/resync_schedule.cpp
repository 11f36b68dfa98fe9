#include "intake/resync_schedule.hpp"

#include <algorithm>
#include <cmath>

#include "ops/metrics.hpp"

namespace zentu {

namespace {

std::string seconds_text(std::chrono::nanoseconds duration) {
    return std::to_string(std::lround(std::chrono::duration<double>(duration).count()));
}

}  // namespace

resync_schedule::resync_schedule(libs::core::timers_manager& timers,
                                 const libs::core::component_logger& logger, start_callback start,
                                 ops::service_metrics& metrics)
    : resync_schedule(timers, logger, std::move(start), metrics, settings()) {}

resync_schedule::resync_schedule(libs::core::timers_manager& timers,
                                 const libs::core::component_logger& logger, start_callback start,
                                 ops::service_metrics& metrics, settings limits)
    : m_timers(timers),
      m_logger(logger),
      m_start(std::move(start)),
      m_metrics(metrics),
      m_limits(limits) {}

void resync_schedule::merge(std::optional<need>& into, need from) {
    if (!into) {
        into = std::move(from);
        return;
    }
    // The reason health gives is the most serious one, the first of its kind.
    if (from.urgent && !into->urgent) {
        into->why = std::move(from.why);
        into->urgent = true;
    }
    into->not_before = std::min(into->not_before, from.not_before);
}

void resync_schedule::ask(cause why_kind, const std::string& why, std::chrono::nanoseconds delay) {
    merge(m_waiting, need{why, why_kind == cause::gap, m_timers.current_time_point() + delay});
    report();
    schedule();
}

void resync_schedule::rebuild_started() {
    m_rebuilding = true;
    m_started_one = m_starting;
    if (m_starting)
        m_last_start = m_timers.current_time_point();
    if (m_waiting) {
        merge(m_covered, std::move(*m_waiting));
        m_waiting.reset();
    }
    m_timer.reset();
    report();
}

void resync_schedule::rebuild_finished(bool ok, const std::string& failure) {
    m_rebuilding = false;
    if (std::exchange(m_started_one, false))
        m_metrics.resync_finished(ok);
    if (m_covered) {
        auto covered = std::move(*m_covered);
        m_covered.reset();
        if (ok) {
            m_backoff = {};
            m_retry_at.reset();
            m_last_failure.clear();
        } else {
            m_backoff = m_backoff.count() == 0 ? m_limits.first_retry
                                               : std::min(m_backoff * 2, m_limits.max_retry);
            m_retry_at = m_timers.current_time_point() + m_backoff;
            m_last_failure = failure;
            m_logger.warning("Resynchronisation (%1%) failed; next attempt in %2% s") %
                covered.why % seconds_text(m_backoff);
            // Failed once, it is overdue whatever it was for.
            covered.urgent = true;
            merge(m_waiting, std::move(covered));
        }
    }
    report();
    schedule();
}

void resync_schedule::schedule() {
    m_timer.reset();
    if (!m_waiting || m_rebuilding)
        return;
    auto due = m_waiting->not_before;
    if (m_last_start)
        due = std::max(due, *m_last_start + m_limits.min_interval);
    if (m_retry_at)
        due = std::max(due, *m_retry_at);
    const auto now = m_timers.current_time_point();
    if (due > now) {
        m_timer = m_timers.create_timer(
            due - now, "resynchronisation", [this](libs::core::timer::time_point) { schedule(); },
            ZENTU_SOURCE_LOCATION());
        return;
    }
    m_starting = true;
    m_start(m_waiting->why);
    m_starting = false;
}

std::string resync_schedule::health_reason() const {
    const need* urgent = nullptr;
    for (const auto* n : {&m_covered, &m_waiting})
        if (*n && (*n)->urgent && !urgent)
            urgent = &**n;
    if (!urgent)
        return {};
    if (m_last_failure.empty())
        return urgent->why;
    return urgent->why + "; the last attempt failed: " + m_last_failure;
}

void resync_schedule::report() {
    m_metrics.resync_pending(health_reason());
}

}  // namespace zentu
