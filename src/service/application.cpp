#include "service/application.hpp"

namespace zentu {

application::application(const config& config, libs::core::logger& logger,
                         libs::core::events_loop& events_loop, ops::service_metrics& metrics,
                         ops::systemd_notifier* notifier)
    : m_logger(logger),
      m_zone_detector(
          std::make_unique<zone_detector>(config, logger, events_loop, metrics, notifier)),
      m_reset_timer(events_loop.create_periodic_timer(
          config.system.rebuild_period, "reset_timer",
          [this](libs::core::timer::time_point) { rebuild(); }, libs::core::source_location())) {}

void application::rebuild() {
    m_zone_detector->start_rebuild();
}

void application::request_rebuild() {
    m_logger.info("Rebuild requested (SIGHUP)");
    m_zone_detector->request_rebuild();
}

}  // namespace zentu
