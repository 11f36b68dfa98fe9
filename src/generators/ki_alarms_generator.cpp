#include "generators/ki_alarms_generator.hpp"
#include "context/alarm_rules.hpp"
#include "context/pair_uid.hpp"
#include "context/protocol.hpp"

#include <algorithm>

namespace zentu {

namespace {

// A stored keep-in alarm as the reconciliation sees it.
struct held_alarm {
    std::string zone_uid;
    bool raised;  // a keep-in alarm that says "set"
};

}  // namespace

ki_alarms_generator::ki_alarms_generator(context::context& ctx, alarms_controller& controller)
    : m_context(ctx), m_alarms_controller(controller) {}

void ki_alarms_generator::reconcile(const std::string& obj_uid,
                                    const alarms_controller::optional_event& event, timestamp ts,
                                    bool settling) {
    const auto& index = m_context.get_keep_in_index();
    std::vector<std::string> wanted;
    const auto object = index.has_left_all(obj_uid)
                            ? m_context.get_trackable_objects().try_get(obj_uid)
                            : boost::none;
    if (object) {
        for (auto& zone_uid : index.zones_holding_in(obj_uid)) {
            const auto zone = m_context.get_zones().try_get(zone_uid);
            const auto verdict =
                zone ? context::keep_in_verdict(*zone, *object) : context::rule_verdict::other_kind;
            if (verdict == context::rule_verdict::applies)
                wanted.push_back(std::move(zone_uid));
            else if (verdict == context::rule_verdict::no_mac)
                m_alarms_controller.not_raised_without_mac(obj_uid, zone_uid,
                                                           context::alarm_type::ki);
        }
    }

    // Collected first: the calls below change the alarms.
    std::vector<held_alarm> held;
    context::assign_pair_prefix(m_prefix, obj_uid);
    m_context.get_alarms().for_each_with_prefix(m_prefix, [&](const context::alarm& alarm) {
        if (alarm.get_trobject_uid() == obj_uid)
            held.push_back(
                {alarm.get_zone_uid(), alarm.get_alarm_type() == context::alarm_type::ki &&
                                           alarm.get_state() == protocol::set});
        return true;
    });

    const auto raise = [&](const std::string& zone_uid) {
        if (settling)
            m_alarms_controller.set_settled_ki_alarm(obj_uid, zone_uid, ts);
        else
            m_alarms_controller.set_ki_alarm(obj_uid, zone_uid, event, ts);
    };
    // Both lists are in zone uid order; walk them together.
    auto w = wanted.begin();
    auto h = held.begin();
    while (w != wanted.end() || h != held.end()) {
        if (h == held.end() || (w != wanted.end() && *w < h->zone_uid)) {
            raise(*w++);
        } else if (w == wanted.end() || h->zone_uid < *w) {
            if (h->raised)
                m_alarms_controller.clear_ki_alarm(obj_uid, h->zone_uid, event, ts);
            ++h;
        } else {
            if (!h->raised)
                raise(*w);
            ++w;
            ++h;
        }
    }
}

void ki_alarms_generator::reconcile_changed(const alarms_controller::optional_event& event,
                                            timestamp ts, const std::string* also) {
    auto changed = m_context.take_keep_in_changes();
    if (also && !std::binary_search(changed.begin(), changed.end(), *also))
        changed.insert(std::lower_bound(changed.begin(), changed.end(), *also), *also);
    for (const auto& obj_uid : changed)
        reconcile(obj_uid, event, ts);
}

std::optional<context::zone_event> ki_alarms_generator::implied_leave(const std::string& obj_uid,
                                                                      timestamp now) const {
    const auto zone_uid = m_context.get_keep_in_index().first_keep_in_zone_left(obj_uid);
    const auto zone = zone_uid ? m_context.get_zones().try_get(*zone_uid) : boost::none;
    if (!zone)
        return std::nullopt;
    context::zone_event leave(context::pair_uid(obj_uid, *zone_uid));
    leave.set_ts(now);
    leave.set_obj_uid(obj_uid);
    leave.set_sublocation_uid(m_context.get_sublocation_uid(*zone).value_or(std::string()));
    leave.set_project_uid(zone->get_project_uid());
    leave.set_zone_uid(*zone_uid);
    leave.set_zone_type(context::zone_type::KEEP_IN);
    leave.set_action(std::string(protocol::leave));
    return leave;
}

void ki_alarms_generator::settle(timestamp now) {
    m_context.take_keep_in_changes();
    m_context.get_trackable_objects().for_each([&](const context::trackable_object& object) {
        const auto& obj_uid = object.get_uid();
        std::optional<context::zone_event> leave;
        if (m_context.get_keep_in_index().has_left_all(obj_uid))
            leave = implied_leave(obj_uid, now);
        // The implied leave places the clears; the sets found here carry the
        // object's own sublocation.
        if (leave)
            reconcile(obj_uid, *leave, now, true);
        else
            reconcile(obj_uid, boost::none, now, true);
        return true;
    });
}

}  // namespace zentu
