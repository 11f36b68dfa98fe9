#pragma once

#include <string>
#include <vector>

#include "alarms_controller.hpp"
#include "context/context.hpp"
#include "core/logger.hpp"

namespace zentu {

// Keep-in rules: an object must stay inside the active keep-in zones that
// apply to it; its alarm is raised once it has left all of them. Where an
// object is lives only in the context's zone events.
//
// Threading: events-loop thread only, inside repository notifications.
class ki_alarms_generator {
public:
    using timestamp = libs::core::timestamp;

    ki_alarms_generator(context::context& ctx, alarms_controller& controller,
                        const libs::core::component_logger& logger);

    void on_zone_event(const context::zone_event& event, timestamp ts);
    void on_zone_update(const context::zone& zone, timestamp ts);
    void on_zone_deactivating(const context::zone& zone, timestamp ts);
    void on_trackable_update(const context::trackable_object& object, timestamp ts);
    void on_trackable_deactivating(const context::trackable_object& object, timestamp ts);
    void on_initialization(const context::zone_event& event);
    void on_initialization(const context::alarm& alarm);

    // Same project, and the object is an exception exactly when the zone
    // allows by default.
    static bool trackable_work_with_zone(const context::trackable_object& object,
                                         const context::zone& zone);
    bool trackable_work_with_zone(const std::string& obj_uid, const std::string& zone_uid) const;
    // Responsive and with a MAC address.
    bool trackable_responsible(const std::string& obj_uid) const;
    // Every active keep-in zone that applies has a zone event that is not "enter".
    bool leave_for_all_active_zones(const std::string& obj_uid) const;

private:
    void on_leave(const context::zone_event& event, timestamp ts);
    bool enters_zone_that_does_not_count(const context::zone_event& event) const;
    // The stored zones for which the object has an alarm, in zone uid order.
    std::vector<std::string> zones_with_alarm(const std::string& obj_uid) const;
    void remove_zone_event(const std::string& obj_uid, const std::string& zone_uid, timestamp ts,
                           bool only_leave);

    context::context& m_context;
    alarms_controller& m_alarms_controller;
    const libs::core::component_logger& m_logger;
};

}  // namespace zentu
