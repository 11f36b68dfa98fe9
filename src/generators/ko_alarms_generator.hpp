#pragma once

#include <string>

#include "context/context.hpp"
#include "delivery/alarms_controller.hpp"

namespace zentu {

// Keep-out rules: entering a keep-out zone raises its alarm, leaving clears
// it; a zone that stops being a keep-out zone, or goes, takes its alarms
// with it, and a zone that becomes one raises them for the objects inside.
// An object without a MAC address has none (the controller is told); one
// that gains or loses its MAC has its alarms raised or cleared at once.
//
// Threading: events-loop thread only, inside repository notifications.
class ko_alarms_generator {
public:
    using timestamp = libs::core::timestamp;

    ko_alarms_generator(context::context& ctx, alarms_controller& controller);

    // "enter" raises (clears, for an object without a MAC address), anything
    // else clears; the caller decides whether the event stays.
    void on_zone_event(const context::zone_event& event, timestamp ts);
    // The object's keep-out alarms as its movements and its MAC address say,
    // after the object was created or updated.
    void reconcile_object(const std::string& obj_uid, timestamp ts);
    // The state found at start-up (or after a rebuild), settled at now.
    void on_initialization(const context::zone_event& event, timestamp now);
    void on_initialization(const context::alarm& alarm, timestamp now);
    // Clears the zone's keep-out alarms.
    void clear_zone(const std::string& zone_uid, timestamp ts);
    // Raises the zone's keep-out alarm for every object with an "enter" event in it.
    void raise_zone(const std::string& zone_uid, timestamp ts);

private:
    // A known object the keep-out rule refuses for want of a MAC address.
    bool nameless(const std::string& obj_uid) const;

    context::context& m_context;
    alarms_controller& m_alarms_controller;
};

}  // namespace zentu
