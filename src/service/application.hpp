#pragma once

#include <memory>

#include "core/events_loop.hpp"
#include "core/logger.hpp"
#include "core/timer.hpp"
#include "service/config.hpp"
#include "service/zone_detector.hpp"

namespace zentu {

// The running service and its periodic rebuild: every `system.rebuild_period`
// (600 s unless configured) the service reloads its context from the
// platform without stopping; if that fails, it goes on as it was.
//
// Threading: events-loop thread only (built before the loop runs).
class application {
public:
    // metrics and the notifier (which may be null) hear how the service does.
    application(const config& config, libs::core::logger& logger,
                libs::core::events_loop& events_loop,
                ops::service_metrics& metrics = ops::unread_metrics(),
                ops::systemd_notifier* notifier = nullptr);

    application(const application&) = delete;
    application& operator=(const application&) = delete;

    // Starts a rebuild now, unless one is under way; it ends later on the loop.
    void rebuild();
    // A rebuild asked for by the operator (SIGHUP): logged; one under way is
    // followed by another, since it may have read the platform before the
    // change the operator wants it to see.
    void request_rebuild();

    // The running service: one for the process's life, as a rebuild replaces
    // what it holds, not the service itself.
    const zone_detector& service() const { return *m_zone_detector; }

private:
    libs::core::logger& m_logger;
    std::unique_ptr<zone_detector> m_zone_detector;
    libs::core::periodic_timer::ptr m_reset_timer;
};

}  // namespace zentu
