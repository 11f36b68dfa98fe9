#include "application.hpp"

namespace zentu {

application::application(const config& config, libs::core::logger& logger,
                         libs::core::events_loop& events_loop)
    : m_config(config),
      m_logger(logger),
      m_events_loop(events_loop),
      m_zone_detector(std::make_unique<zone_detector>(config, logger, events_loop)),
      m_reset_timer(events_loop.create_periodic_timer(
          reset_period, "reset_timer", [this](libs::core::timer::time_point) { rebuild(); },
          libs::core::source_location())) {}

void application::rebuild() {
    std::unique_ptr<zone_detector> fresh;
    try {
        fresh = std::make_unique<zone_detector>(m_config, m_logger, m_events_loop);
    } catch (...) {
        // The failed service may have rewritten the mirror before it failed.
        m_zone_detector->rewrite_mirror();
        throw;
    }
    // The new service stands before the old one is taken down.
    std::swap(fresh, m_zone_detector);
    fresh.reset();
}

void application::request_rebuild() {
    m_logger.info("Rebuild requested (SIGHUP)");
    try {
        rebuild();
        m_logger.info("Rebuild done");
    } catch (...) {
        m_logger.log_exception();
    }
}

}  // namespace zentu
