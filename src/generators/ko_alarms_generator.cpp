#include "generators/ko_alarms_generator.hpp"
#include "context/alarm_rules.hpp"
#include "context/pair_uid.hpp"
#include "context/protocol.hpp"

#include <algorithm>
#include <vector>

namespace zentu {

ko_alarms_generator::ko_alarms_generator(context::context& ctx, alarms_controller& controller)
    : m_context(ctx), m_alarms_controller(controller) {}

bool ko_alarms_generator::nameless(const std::string& obj_uid) const {
    const auto object = m_context.get_trackable_objects().try_get(obj_uid);
    return object && context::object_verdict(context::alarm_type::ko, *object) ==
                         context::rule_verdict::no_mac;
}

void ko_alarms_generator::on_zone_event(const context::zone_event& event, timestamp ts) {
    if (event.get_action() != protocol::enter) {
        m_alarms_controller.clear_ko_alarm(event.get_obj_uid(), event.get_zone_uid(),
                                           alarms_controller::optional_event(event), ts);
    } else if (nameless(event.get_obj_uid())) {
        m_alarms_controller.not_raised_without_mac(event.get_obj_uid(), event.get_zone_uid(),
                                                   context::alarm_type::ko);
        m_alarms_controller.clear_ko_alarm(event.get_obj_uid(), event.get_zone_uid(), boost::none,
                                           ts);
    } else {
        m_alarms_controller.set_ko_alarm(event.get_obj_uid(), event.get_zone_uid(), event, ts);
    }
}

void ko_alarms_generator::reconcile_object(const std::string& obj_uid, timestamp ts) {
    const std::string prefix = context::pair_prefix(obj_uid);
    // Collected first: the calls below change events and alarms.
    std::vector<std::string> inside;
    m_context.get_zone_events().for_each_with_prefix(prefix, [&](const context::zone_event& e) {
        if (e.get_obj_uid() == obj_uid && e.get_zone_type() == context::zone_type::KEEP_OUT &&
            e.get_action() == protocol::enter)
            inside.push_back(e.get_uid());
        return true;
    });
    std::vector<std::string> held;
    m_context.get_alarms().for_each_with_prefix(prefix, [&](const context::alarm& alarm) {
        if (alarm.get_trobject_uid() == obj_uid &&
            alarm.get_alarm_type() == context::alarm_type::ko && alarm.get_state() == protocol::set)
            held.push_back(alarm.get_zone_uid());
        return true;
    });
    std::vector<std::string> wanted;
    for (const auto& uid : inside) {
        if (const auto event = m_context.get_zone_events().try_get(uid)) {
            wanted.push_back(event->get_zone_uid());
            on_zone_event(*event, ts);
        }
    }
    for (const auto& zone_uid : held)
        if (std::find(wanted.begin(), wanted.end(), zone_uid) == wanted.end())
            m_alarms_controller.clear_ko_alarm(obj_uid, zone_uid, boost::none, ts);
}

void ko_alarms_generator::on_initialization(const context::zone_event& event, timestamp now) {
    on_zone_event(event, now);
}

void ko_alarms_generator::on_initialization(const context::alarm& alarm, timestamp now) {
    const auto event = m_context.get_zone_events().try_get(
        context::pair_uid(alarm.get_trobject_uid(), alarm.get_zone_uid()));
    const auto zone = m_context.get_zones().try_get(alarm.get_zone_uid());
    if (!event || !zone || zone->get_type() != context::zone_type::KEEP_OUT) {
        m_alarms_controller.clear_ko_alarm(alarm.get_trobject_uid(), alarm.get_zone_uid(),
                                           boost::none, now);
    } else if (event->get_action() != protocol::enter) {
        m_alarms_controller.clear_ko_alarm(event->get_obj_uid(), event->get_zone_uid(), event,
                                           event->get_ts());
    }
}

void ko_alarms_generator::clear_zone(const std::string& zone_uid, timestamp ts) {
    std::vector<std::string> objects;
    m_context.get_alarms().for_each([&](const context::alarm& alarm) {
        if (alarm.get_zone_uid() == zone_uid && alarm.get_alarm_type() == context::alarm_type::ko &&
            alarm.get_state() == protocol::set)
            objects.push_back(alarm.get_trobject_uid());
        return true;
    });
    for (const auto& obj_uid : objects)
        m_alarms_controller.clear_ko_alarm(obj_uid, zone_uid, boost::none, ts);
}

void ko_alarms_generator::raise_zone(const std::string& zone_uid, timestamp ts) {
    std::vector<std::string> inside;
    m_context.get_zone_events().for_each([&](const context::zone_event& event) {
        if (event.get_zone_uid() == zone_uid && event.get_action() == protocol::enter)
            inside.push_back(event.get_uid());
        return true;
    });
    for (const auto& uid : inside)
        if (const auto event = m_context.get_zone_events().try_get(uid))
            m_alarms_controller.set_ko_alarm(event->get_obj_uid(), zone_uid, *event, ts);
}

}  // namespace zentu
