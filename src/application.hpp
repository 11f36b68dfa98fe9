#pragma once

#include <memory>

#include "config.hpp"
#include "core/events_loop.hpp"
#include "core/logger.hpp"
#include "core/timer.hpp"
#include "zone_detector.hpp"

namespace zentu {

// The running service and its periodic rebuild: every 600 s a new
// zone_detector is built from the platform and replaces the current one once
// it stands; if building fails, the current one keeps running.
//
// Threading: events-loop thread only (built before the loop runs).
class application {
public:
    static constexpr std::chrono::seconds reset_period{600};

    application(const config& config, libs::core::logger& logger,
                libs::core::events_loop& events_loop);

    application(const application&) = delete;
    application& operator=(const application&) = delete;

    // One rebuild step; throws (keeping the current service) when the new
    // one cannot be built.
    void rebuild();

    // A rebuild asked for by the operator (SIGHUP): logged, and a failure is
    // logged too while the current service keeps running.
    void request_rebuild();

    const zone_detector& current() const { return *m_zone_detector; }

private:
    const config& m_config;
    libs::core::logger& m_logger;
    libs::core::events_loop& m_events_loop;
    std::unique_ptr<zone_detector> m_zone_detector;
    libs::core::periodic_timer::ptr m_reset_timer;
};

}  // namespace zentu
