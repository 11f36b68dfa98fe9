#pragma once

#include <string>
#include <vector>

#include "context/context.hpp"
#include "delivery/alarms_controller.hpp"

namespace zentu {

// Keep-in alarms: an object outside every zone that holds it in (the
// context's keep-in index) has a set alarm for each of them that the keep-in
// rule allows (context::keep_in_verdict); otherwise it has none. One the rule
// refuses for want of a MAC address is told to the controller, which reports
// it. The alarms follow from where the object is whatever changed: a
// movement, a zone, the object itself.
//
// Threading: events-loop thread only, inside repository notifications.
class ki_alarms_generator {
public:
    using timestamp = libs::core::timestamp;

    ki_alarms_generator(context::context& ctx, alarms_controller& controller);

    // Raises the object's missing keep-in alarms and clears those it should
    // not have, in zone uid order; the event, when there is one, gives their
    // time and position. Settling, the alarms raised carry no movement: they
    // lie at the origin in the object's own sublocation.
    void reconcile(const std::string& obj_uid, const alarms_controller::optional_event& event,
                   timestamp ts, bool settling = false);
    // Reconciles every object whose keep-in state changed, in uid order; the
    // object named, if any, is reconciled too.
    void reconcile_changed(const alarms_controller::optional_event& event, timestamp ts,
                           const std::string* also = nullptr);
    // The state found at start-up or after a rebuild: every object once.
    void settle(timestamp now);

private:
    // The movement the object's first keep-in zone it is outside of would
    // have had in the platform's occupancy lists.
    std::optional<context::zone_event> implied_leave(const std::string& obj_uid,
                                                     timestamp now) const;

    context::context& m_context;
    alarms_controller& m_alarms_controller;
    std::string m_prefix;
};

}  // namespace zentu
