#include "alarms_generator.hpp"

namespace zentu {

using context::zone_type;

alarms_generator::alarms_generator(context::context& ctx, alarms_controller& controller,
                                   const libs::core::component_logger& logger)
    : m_ki_zones(ctx, controller, logger),
      m_ko_zones(ctx, controller, logger),
      m_context(ctx),
      m_trobjects_subscription(ctx.get_trackable_objects().subscribe(*this)),
      m_zones_subscription(ctx.get_zones().subscribe(*this)),
      m_zone_events_subscription(ctx.get_zone_events().subscribe(*this)) {
    initialize_zone_events();
    initialize_alarms();
}

void alarms_generator::after_creating(const context::zone&, timestamp) {}

void alarms_generator::after_updating(const context::zone& zone, timestamp ts) {
    if (zone.get_active())
        m_ki_zones.on_zone_update(zone, ts);
    else
        m_ki_zones.on_zone_deactivating(zone, ts);
}

void alarms_generator::before_deleting(const context::zone& zone, timestamp ts) {
    m_ki_zones.on_zone_deactivating(zone, ts);
}

void alarms_generator::after_creating(const context::trackable_object&, timestamp) {}

void alarms_generator::after_updating(const context::trackable_object& object, timestamp ts) {
    if (object.get_responsive() && object.get_mac_address())
        m_ki_zones.on_trackable_update(object, ts);
    else
        m_ki_zones.on_trackable_deactivating(object, ts);
}

void alarms_generator::before_deleting(const context::trackable_object& object, timestamp ts) {
    m_ki_zones.on_trackable_deactivating(object, ts);
}

void alarms_generator::after_creating(const context::zone_event& event, timestamp ts) {
    after_updating(event, ts);
}

void alarms_generator::after_updating(const context::zone_event& event, timestamp ts) {
    switch (event.get_zone_type()) {
        case zone_type::KEEP_IN:
            m_ki_zones.on_zone_event(event, ts);
            break;
        case zone_type::KEEP_OUT:
            m_ko_zones.on_zone_event(event, ts);
            break;
        default: {
            // Only keep-in and keep-out movements matter; drop the rest.
            const std::string uid = event.get_uid();
            m_context.take_zone_events().remove(uid, ts);
            break;
        }
    }
}

void alarms_generator::before_deleting(const context::zone_event&, timestamp) {}

void alarms_generator::initialize_zone_events() {
    const auto now = timestamp::current_time();
    // for_each steps ahead before each call, so handling may delete the event.
    m_context.get_zone_events().for_each([&](const context::zone_event& event) {
        switch (event.get_zone_type()) {
            case zone_type::KEEP_IN:
                m_ki_zones.on_initialization(event);
                break;
            case zone_type::KEEP_OUT:
                m_ko_zones.on_initialization(event);
                break;
            default: {
                const std::string uid = event.get_uid();
                m_context.take_zone_events().remove(uid, now);
                break;
            }
        }
        return true;
    });
}

void alarms_generator::initialize_alarms() {
    m_context.get_alarms().for_each([&](const context::alarm& alarm) {
        if (alarm.get_alarm_type() == context::alarm_type::ki)
            m_ki_zones.on_initialization(alarm);
        else
            m_ko_zones.on_initialization(alarm);
        return true;
    });
}

}  // namespace zentu
