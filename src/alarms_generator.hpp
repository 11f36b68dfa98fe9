#pragma once

#include "alarms_controller.hpp"
#include "context/context.hpp"
#include "core/logger.hpp"
#include "ki_alarms_generator.hpp"
#include "ko_alarms_generator.hpp"

namespace zentu {

// Watches zones, trackable objects and zone events and hands each change to
// the keep-in or keep-out rules. At construction it also settles the state
// loaded at start-up: zone events first, then the alarms found on the platform.
//
// Threading: events-loop thread only; all work happens inside repository
// notifications. Keeps no state besides its subscriptions.
class alarms_generator : public context::context::zones::observer,
                         public context::context::trackable_objects::observer,
                         public context::context::zone_events::observer {
public:
    using timestamp = libs::core::timestamp;

    // The context must be loaded and the controller must have registered the
    // platform's alarms.
    alarms_generator(context::context& ctx, alarms_controller& controller,
                     const libs::core::component_logger& logger);
    alarms_generator(const alarms_generator&) = delete;
    alarms_generator& operator=(const alarms_generator&) = delete;

    void after_creating(const context::zone& zone, timestamp ts) override;
    void after_updating(const context::zone& zone, timestamp ts) override;
    void before_deleting(const context::zone& zone, timestamp ts) override;

    void after_creating(const context::trackable_object& object, timestamp ts) override;
    void after_updating(const context::trackable_object& object, timestamp ts) override;
    void before_deleting(const context::trackable_object& object, timestamp ts) override;

    void after_creating(const context::zone_event& event, timestamp ts) override;
    void after_updating(const context::zone_event& event, timestamp ts) override;
    void before_deleting(const context::zone_event& event, timestamp ts) override;

private:
    void initialize_zone_events();
    void initialize_alarms();

    ki_alarms_generator m_ki_zones;
    ko_alarms_generator m_ko_zones;
    context::context& m_context;
    context::context::trackable_objects::subscription_handle m_trobjects_subscription;
    context::context::zones::subscription_handle m_zones_subscription;
    context::context::zone_events::subscription_handle m_zone_events_subscription;
};

}  // namespace zentu
