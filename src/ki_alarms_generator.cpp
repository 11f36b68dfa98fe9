#include "ki_alarms_generator.hpp"

#include <algorithm>

namespace zentu {

namespace {
constexpr const char* enter_action = "enter";
constexpr const char* leave_action = "leave";
}  // namespace

ki_alarms_generator::ki_alarms_generator(context::context& ctx, alarms_controller& controller,
                                         const libs::core::component_logger& logger)
    : m_context(ctx), m_alarms_controller(controller), m_logger(logger) {}

bool ki_alarms_generator::trackable_work_with_zone(const context::trackable_object& object,
                                                   const context::zone& zone) {
    if (object.get_project_uid() != zone.get_project_uid())
        return false;
    const auto& groups = object.get_groups();
    const auto& exempt_groups = zone.get_exceptions_groups();
    const bool exception = zone.get_exceptions().count(object.get_uid()) != 0 ||
                           std::any_of(groups.begin(), groups.end(), [&](const std::string& g) {
                               return exempt_groups.count(g) != 0;
                           });
    return exception ? zone.get_default_allowed() : !zone.get_default_allowed();
}

bool ki_alarms_generator::trackable_work_with_zone(const std::string& obj_uid,
                                                   const std::string& zone_uid) const {
    const auto object = m_context.get_trackable_objects().try_get(obj_uid);
    const auto zone = m_context.get_zones().try_get(zone_uid);
    return object && zone && trackable_work_with_zone(*object, *zone);
}

bool ki_alarms_generator::trackable_responsible(const std::string& obj_uid) const {
    const auto object = m_context.get_trackable_objects().try_get(obj_uid);
    return object && object->get_mac_address() && object->get_responsive();
}

bool ki_alarms_generator::leave_for_all_active_zones(const std::string& obj_uid) const {
    const auto object = m_context.get_trackable_objects().try_get(obj_uid);
    if (!object)
        return true;
    const auto& events = m_context.get_zone_events();
    return m_context.get_zones().for_each([&](const context::zone& zone) {
        if (zone.get_type() != context::zone_type::KEEP_IN ||
            zone.get_project_uid() != object->get_project_uid() || !zone.get_active() ||
            !trackable_work_with_zone(*object, zone))
            return true;
        const auto event = events.try_get(context::zone_event::make_uid(obj_uid, zone.get_uid()));
        return event && event->get_action() != enter_action;
    });
}

void ki_alarms_generator::on_zone_event(const context::zone_event& event, timestamp ts) {
    if (event.get_action() != enter_action) {
        on_leave(event, ts);
        return;
    }
    if (enters_zone_that_does_not_count(event))
        return;
    const alarms_controller::optional_event with_event(event);
    for (const auto& zone_uid : zones_with_alarm(event.get_obj_uid()))
        m_alarms_controller.clear_ki_alarm(event.get_obj_uid(), zone_uid, with_event, ts);
}

std::vector<std::string> ki_alarms_generator::zones_with_alarm(const std::string& obj_uid) const {
    // A clear of a pair without a stored alarm does nothing at all, so visiting
    // the object's alarms gives the same calls, in the same order, as visiting
    // every zone; on large sites it is the difference between a few alarms and
    // hundreds of zones per event. Collected first: a clear may change alarms.
    std::vector<std::string> zone_uids;
    m_context.get_alarms().for_each_with_prefix(obj_uid + ":", [&](const context::alarm& alarm) {
        if (alarm.get_trobject_uid() == obj_uid &&
            m_context.get_zones().is_exists(alarm.get_zone_uid()))
            zone_uids.push_back(alarm.get_zone_uid());
        return true;
    });
    return zone_uids;
}

bool ki_alarms_generator::enters_zone_that_does_not_count(const context::zone_event& event) const {
    // Entering an inactive zone, or one that does not apply to the object,
    // does not bring it back inside: its alarms must stay while it is still
    // outside every keep-in zone that applies. Unknown pairs get the clears.
    const auto object = m_context.get_trackable_objects().try_get(event.get_obj_uid());
    const auto zone = m_context.get_zones().try_get(event.get_zone_uid());
    if (!object || !zone)
        return false;
    if (zone->get_type() == context::zone_type::KEEP_IN && zone->get_active() &&
        trackable_work_with_zone(*object, *zone))
        return false;
    return leave_for_all_active_zones(event.get_obj_uid());
}

void ki_alarms_generator::on_leave(const context::zone_event& event, timestamp ts) {
    const std::string& obj_uid = event.get_obj_uid();
    const alarms_controller::optional_event with_event(event);
    // Computed once: the calls below change alarms, never zone events.
    const bool responsible = trackable_responsible(obj_uid);
    const bool left_all = leave_for_all_active_zones(obj_uid);

    if (responsible && left_all) {
        m_context.get_zones().for_each([&](const context::zone& zone) {
            if (!trackable_work_with_zone(obj_uid, zone.get_uid()) || !zone.get_active())
                m_alarms_controller.clear_ki_alarm(obj_uid, zone.get_uid(), with_event, ts);
            else
                m_alarms_controller.set_ki_alarm(obj_uid, zone.get_uid(), with_event, ts);
            return true;
        });
    } else {
        // Without sets only the clears remain, which act on stored alarms only.
        for (const auto& zone_uid : zones_with_alarm(obj_uid)) {
            const auto zone = m_context.get_zones().try_get(zone_uid);
            if (zone && (!trackable_work_with_zone(obj_uid, zone_uid) || !zone->get_active()))
                m_alarms_controller.clear_ki_alarm(obj_uid, zone_uid, with_event, ts);
        }
    }

    const auto own_zone = m_context.get_zones().try_get(event.get_zone_uid());
    if (own_zone && own_zone->get_active() && responsible &&
        trackable_work_with_zone(obj_uid, own_zone->get_uid()))
        return;  // kept: later checks see the object outside this zone

    m_alarms_controller.clear_ki_alarm(obj_uid, event.get_zone_uid(), with_event, ts);
    // The event may be destroyed by the removal: copy the key first.
    const std::string uid = event.get_uid();
    m_context.take_zone_events().remove(uid, ts);
}

void ki_alarms_generator::on_zone_update(const context::zone&, timestamp ts) {
    // A changed zone may change who any zone applies to: recheck every pair.
    m_context.get_trackable_objects().for_each([&](const context::trackable_object& object) {
        on_trackable_update(object, ts);
        return true;
    });
}

void ki_alarms_generator::on_trackable_update(const context::trackable_object& object,
                                              timestamp ts) {
    m_context.get_zones().for_each([&](const context::zone& zone) {
        if (!trackable_work_with_zone(object, zone)) {
            m_alarms_controller.clear_ki_alarm(object.get_uid(), zone.get_uid(), boost::none, ts);
            remove_zone_event(object.get_uid(), zone.get_uid(), ts, false);
        }
        return true;
    });
}

void ki_alarms_generator::on_zone_deactivating(const context::zone& zone, timestamp ts) {
    const auto& events = m_context.get_zone_events();
    m_context.get_trackable_objects().for_each([&](const context::trackable_object& object) {
        const auto event =
            events.try_get(context::zone_event::make_uid(object.get_uid(), zone.get_uid()));
        if (event && event->get_action() == leave_action) {
            m_alarms_controller.clear_ki_alarm(object.get_uid(), zone.get_uid(), boost::none, ts);
            remove_zone_event(object.get_uid(), zone.get_uid(), ts, true);
        }
        return true;
    });
}

void ki_alarms_generator::on_trackable_deactivating(const context::trackable_object& object,
                                                    timestamp ts) {
    m_context.get_zones().for_each([&](const context::zone& zone) {
        m_alarms_controller.clear_ki_alarm(object.get_uid(), zone.get_uid(), boost::none, ts);
        remove_zone_event(object.get_uid(), zone.get_uid(), ts, true);
        return true;
    });
}

void ki_alarms_generator::on_initialization(const context::zone_event& event) {
    on_zone_event(event, timestamp::current_time());
}

void ki_alarms_generator::on_initialization(const context::alarm& alarm) {
    const auto uid = context::zone_event::make_uid(alarm.get_trobject_uid(), alarm.get_zone_uid());
    if (!m_context.get_zone_events().is_exists(uid) ||
        !leave_for_all_active_zones(alarm.get_trobject_uid()))
        m_alarms_controller.clear_ki_alarm(alarm.get_trobject_uid(), alarm.get_zone_uid(),
                                           boost::none, timestamp::current_time());
}

void ki_alarms_generator::remove_zone_event(const std::string& obj_uid, const std::string& zone_uid,
                                            timestamp ts, bool only_leave) {
    const auto uid = context::zone_event::make_uid(obj_uid, zone_uid);
    const auto event = m_context.get_zone_events().try_get(uid);
    if (!event || (only_leave && event->get_action() != leave_action))
        return;
    m_context.take_zone_events().remove(uid, ts);
}

}  // namespace zentu
