#include "generators/alarms_generator.hpp"
#include "context/alarm_rules.hpp"
#include "context/pair_uid.hpp"
#include "context/protocol.hpp"

#include <vector>

namespace zentu {

using context::zone_type;

alarms_generator::alarms_generator(context::context& ctx, alarms_controller& controller,
                                   libs::core::clock& clock)
    : m_ki_zones(ctx, controller),
      m_ko_zones(ctx, controller),
      m_context(ctx),
      m_alarms_controller(controller),
      m_clock(clock),
      m_trobjects_subscription(ctx.get_trackable_objects().subscribe(*this)),
      m_zones_subscription(ctx.get_zones().subscribe(*this)),
      m_zone_events_subscription(ctx.get_zone_events().subscribe(*this)) {
    settle("start-up");
}

void alarms_generator::settle(const char* why) {
    const alarms_controller::cause_scope cause(m_alarms_controller, {why});
    const auto now = m_clock.current_timestamp();
    m_zone_types.clear();
    m_context.get_zones().for_each([&](const context::zone& zone) {
        m_zone_types.emplace(zone.get_uid(), zone.get_type());
        return true;
    });
    settle_zone_events(now);
    m_ki_zones.settle(now);
    settle_alarms(now);
}

void alarms_generator::settle_zone_events(timestamp now) {
    // for_each steps ahead before each call, so handling may delete the event.
    m_context.get_zone_events().for_each([&](const context::zone_event& event) {
        if (event.get_zone_type() == zone_type::KEEP_OUT)
            m_ko_zones.on_initialization(event, now);
        if (!keeps(event)) {
            // The event may be destroyed by the removal: copy the key first.
            // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
            const std::string uid = event.get_uid();
            m_context.take_zone_events().remove(uid, now);
        }
        return true;
    });
}

void alarms_generator::settle_alarms(timestamp now) {
    m_context.get_alarms().for_each([&](const context::alarm& alarm) {
        if (alarm.get_alarm_type() == context::alarm_type::ko)
            m_ko_zones.on_initialization(alarm, now);
        else if (!m_context.get_trackable_objects().is_exists(alarm.get_trobject_uid()))
            m_alarms_controller.clear_ki_alarm(alarm.get_trobject_uid(), alarm.get_zone_uid(),
                                               boost::none, now);
        return true;
    });
}

bool alarms_generator::keeps(const context::zone_event& event) const {
    return context::rules_need(event, m_context.get_zones().is_exists(event.get_zone_uid()),
                               m_context.get_trackable_objects().is_exists(event.get_obj_uid()));
}

void alarms_generator::clear_alarms_where(std::string_view prefix,
                                          const std::function<bool(const context::alarm&)>& match,
                                          timestamp ts) {
    std::vector<std::pair<std::string, std::string>> pairs;
    m_context.get_alarms().for_each_with_prefix(prefix, [&](const context::alarm& alarm) {
        if (alarm.get_state() == protocol::set && match(alarm))
            pairs.emplace_back(alarm.get_trobject_uid(), alarm.get_zone_uid());
        return true;
    });
    for (const auto& [obj_uid, zone_uid] : pairs) {
        const auto alarm = m_context.get_alarms().try_get(context::pair_uid(obj_uid, zone_uid));
        if (!alarm)
            continue;
        if (alarm->get_alarm_type() == context::alarm_type::ki)
            m_alarms_controller.clear_ki_alarm(obj_uid, zone_uid, boost::none, ts);
        else
            m_alarms_controller.clear_ko_alarm(obj_uid, zone_uid, boost::none, ts);
    }
}

void alarms_generator::remove_zone_events_where(
    std::string_view prefix, const std::function<bool(const context::zone_event&)>& match,
    timestamp ts) {
    std::vector<std::string> uids;
    m_context.get_zone_events().for_each_with_prefix(prefix, [&](const context::zone_event& event) {
        if (match(event))
            uids.push_back(event.get_uid());
        return true;
    });
    for (const auto& uid : uids)
        m_context.take_zone_events().remove(uid, ts);
}

// ---- zones ---------------------------------------------------------------------------

void alarms_generator::after_creating(const context::zone& zone, timestamp ts) {
    const alarms_controller::cause_scope cause(m_alarms_controller,
                                               {"zone created", &zone.get_uid()});
    m_zone_types[zone.get_uid()] = zone.get_type();
    m_ki_zones.reconcile_changed(boost::none, ts);
}

void alarms_generator::after_updating(const context::zone& zone, timestamp ts) {
    const alarms_controller::cause_scope cause(m_alarms_controller,
                                               {"zone updated", &zone.get_uid()});
    const auto type = zone.get_type();
    const auto known = m_zone_types.find(zone.get_uid());
    const auto before = known == m_zone_types.end() ? type : known->second;
    m_zone_types[zone.get_uid()] = type;
    // A zone that changes its kind takes the alarms of the old kind with it.
    if (before == zone_type::KEEP_OUT && type != zone_type::KEEP_OUT)
        m_ko_zones.clear_zone(zone.get_uid(), ts);
    m_ki_zones.reconcile_changed(boost::none, ts);
    if (type == zone_type::KEEP_OUT && before != zone_type::KEEP_OUT)
        m_ko_zones.raise_zone(zone.get_uid(), ts);
}

void alarms_generator::before_deleting(const context::zone& zone, timestamp ts) {
    const alarms_controller::cause_scope cause(m_alarms_controller,
                                               {"zone deleted", &zone.get_uid()});
    const std::string& zone_uid = zone.get_uid();
    m_zone_types.erase(zone_uid);
    m_ki_zones.reconcile_changed(boost::none, ts);
    clear_alarms_where(
        {}, [&](const context::alarm& a) { return a.get_zone_uid() == zone_uid; }, ts);
    remove_zone_events_where(
        {}, [&](const context::zone_event& e) { return e.get_zone_uid() == zone_uid; }, ts);
}

// ---- trackable objects ------------------------------------------------------------------

void alarms_generator::after_creating(const context::trackable_object& object, timestamp ts) {
    const alarms_controller::cause_scope cause(m_alarms_controller,
                                               {"object created", &object.get_uid()});
    m_ki_zones.reconcile_changed(boost::none, ts);
    m_ko_zones.reconcile_object(object.get_uid(), ts);
}

void alarms_generator::after_updating(const context::trackable_object& object, timestamp ts) {
    const alarms_controller::cause_scope cause(m_alarms_controller,
                                               {"object updated", &object.get_uid()});
    // Responsiveness and the MAC address count without changing the index.
    m_ki_zones.reconcile_changed(boost::none, ts, &object.get_uid());
    m_ko_zones.reconcile_object(object.get_uid(), ts);
}

void alarms_generator::before_deleting(const context::trackable_object& object, timestamp ts) {
    const alarms_controller::cause_scope cause(m_alarms_controller,
                                               {"object deleted", &object.get_uid()});
    const std::string& obj_uid = object.get_uid();
    const std::string prefix = context::pair_prefix(obj_uid);
    clear_alarms_where(
        prefix, [&](const context::alarm& a) { return a.get_trobject_uid() == obj_uid; }, ts);
    remove_zone_events_where(
        prefix, [&](const context::zone_event& e) { return e.get_obj_uid() == obj_uid; }, ts);
}

// ---- zone events --------------------------------------------------------------------------

void alarms_generator::after_creating(const context::zone_event& event, timestamp ts) {
    after_updating(event, ts);
}

void alarms_generator::after_updating(const context::zone_event& event, timestamp ts) {
    const alarms_controller::cause_scope cause(
        m_alarms_controller, {"zone event", &event.get_uid(), &event.get_action()});
    if (event.get_zone_type() == zone_type::KEEP_OUT)
        m_ko_zones.on_zone_event(event, ts);
    m_ki_zones.reconcile_changed(alarms_controller::optional_event(event), ts);
    if (!keeps(event)) {
        // The event may be destroyed by the removal: copy the key first.
        // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
        const std::string uid = event.get_uid();
        m_context.take_zone_events().remove(uid, ts);
    }
}

void alarms_generator::before_deleting(const context::zone_event&, timestamp) {}

}  // namespace zentu
