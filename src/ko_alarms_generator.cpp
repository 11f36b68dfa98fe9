#include "ko_alarms_generator.hpp"

namespace zentu {

namespace {
constexpr const char* enter_action = "enter";
}

ko_alarms_generator::ko_alarms_generator(context::context& ctx, alarms_controller& controller,
                                         const libs::core::component_logger& logger)
    : m_context(ctx), m_alarms_controller(controller), m_logger(logger) {}

void ko_alarms_generator::on_zone_event(const context::zone_event& event, timestamp ts) {
    if (event.get_action() == enter_action) {
        m_alarms_controller.set_ko_alarm(event.get_obj_uid(), event.get_zone_uid(), event, ts);
        return;
    }
    m_alarms_controller.clear_ko_alarm(event.get_obj_uid(), event.get_zone_uid(),
                                       alarms_controller::optional_event(event), ts);
    // The event may be destroyed right here: copy the key first.
    const std::string uid = event.get_uid();
    m_context.take_zone_events().remove(uid, ts);
}

void ko_alarms_generator::on_initialization(const context::zone_event& event) {
    on_zone_event(event, timestamp::current_time());
}

void ko_alarms_generator::on_initialization(const context::alarm& alarm) {
    const auto event = m_context.get_zone_events().try_get(
        context::zone_event::make_uid(alarm.get_trobject_uid(), alarm.get_zone_uid()));
    if (!event) {
        m_alarms_controller.clear_ko_alarm(alarm.get_trobject_uid(), alarm.get_zone_uid(),
                                           boost::none, timestamp::current_time());
    } else if (event->get_action() != enter_action) {
        m_alarms_controller.clear_ko_alarm(event->get_obj_uid(), event->get_zone_uid(), event,
                                           event->get_ts());
    }
}

}  // namespace zentu
