#pragma once

#include "alarms_controller.hpp"
#include "context/context.hpp"
#include "core/logger.hpp"

namespace zentu {

// Keep-out rules: entering a keep-out zone raises its alarm, leaving clears it.
//
// Threading: events-loop thread only, inside repository notifications.
class ko_alarms_generator {
public:
    using timestamp = libs::core::timestamp;

    ko_alarms_generator(context::context& ctx, alarms_controller& controller,
                        const libs::core::component_logger& logger);

    void on_zone_event(const context::zone_event& event, timestamp ts);
    void on_initialization(const context::zone_event& event);
    void on_initialization(const context::alarm& alarm);

private:
    context::context& m_context;
    alarms_controller& m_alarms_controller;
    const libs::core::component_logger& m_logger;
};

}  // namespace zentu
