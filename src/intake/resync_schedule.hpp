#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "core/logger.hpp"
#include "core/timer.hpp"
#include "ops/metrics.hpp"

namespace zentu {

// Decides when the service resynchronises its context from the platform
// (a rebuild) because something may have been missed, and keeps asking until
// one has succeeded.
//
// A need is covered by the first rebuild that starts after it, whatever
// started it (the periodic one too): only lists fetched after the need can
// repair it. A rebuild that starts while one is under way cannot be had, so a
// need waits for its end. Resynchronisations start at most once per
// min_interval (a need inside that window waits for its end and is never
// dropped), and needs that arrive meanwhile join the one waiting. A covered
// need whose rebuild failed waits again, first_retry after the failure,
// doubling up to max_retry, until one succeeds.
//
// Health: a gap in the message stream may have lost anything, so the service
// is not well until it is repaired; unknown positions are part of normal
// running (every object created has one), so they count only once an
// attempt to fetch them has failed. The metrics hear the reason
// (empty when none) and every resynchronisation's result.
//
// Threading: events-loop thread only (the timers' loop).
class resync_schedule {
public:
    enum class cause {
        // The message stream was away: whatever it carried meanwhile is lost.
        gap,
        // Objects whose position the lists would tell.
        unknown_positions,
    };

    struct settings {
        std::chrono::nanoseconds min_interval = std::chrono::seconds(5);
        std::chrono::nanoseconds first_retry = std::chrono::seconds(5);
        std::chrono::nanoseconds max_retry = std::chrono::seconds(60);
    };

    // Begins a rebuild now, for the reason given, and tells rebuild_started().
    using start_callback = std::function<void(const std::string& why)>;

    resync_schedule(libs::core::timers_manager& timers, const libs::core::component_logger& logger,
                    start_callback start, ops::service_metrics& metrics = ops::unread_metrics());
    resync_schedule(libs::core::timers_manager& timers, const libs::core::component_logger& logger,
                    start_callback start, ops::service_metrics& metrics, settings limits);
    resync_schedule(const resync_schedule&) = delete;
    resync_schedule& operator=(const resync_schedule&) = delete;

    // A resynchronisation is needed; it starts delay from now at the
    // earliest (batching what comes meanwhile), later if the limits say so.
    void ask(cause why_kind, const std::string& why, std::chrono::nanoseconds delay = {});

    // Every rebuild, whatever started it, as it starts and as it ends.
    void rebuild_started();
    void rebuild_finished(bool ok, const std::string& failure);

    // A need that no successful rebuild has covered yet.
    bool pending() const { return m_waiting || m_covered; }
    // Why the service is not well because of it; empty when it is.
    std::string health_reason() const;

private:
    struct need {
        std::string why;
        bool urgent = false;
        libs::core::timer::time_point not_before;
    };
    static void merge(std::optional<need>& into, need from);
    void schedule();
    void report();

    libs::core::timers_manager& m_timers;
    const libs::core::component_logger& m_logger;
    start_callback m_start;
    ops::service_metrics& m_metrics;
    settings m_limits;
    // Not covered by a rebuild started after it yet.
    std::optional<need> m_waiting;
    // Covered by the rebuild under way.
    std::optional<need> m_covered;
    bool m_rebuilding = false;
    bool m_starting = false;
    bool m_started_one = false;
    std::optional<libs::core::timer::time_point> m_last_start;
    std::optional<libs::core::timer::time_point> m_retry_at;
    std::chrono::nanoseconds m_backoff{0};
    std::string m_last_failure;
    libs::core::timer::ptr m_timer;
};

}  // namespace zentu
