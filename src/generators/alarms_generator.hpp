#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "context/context.hpp"
#include "core/clock.hpp"
#include "delivery/alarms_controller.hpp"
#include "generators/ki_alarms_generator.hpp"
#include "generators/ko_alarms_generator.hpp"

namespace zentu {

// Watches zones, trackable objects and zone events and hands each change to
// the keep-in or keep-out rules. At construction it settles the state loaded
// at start-up against the alarms found on the platform; settle() does the
// same after the context was reloaded.
//
// Zone events are kept only while a rule needs them: an object's "enter" and
// its keep-in "leave" stay, and so does a keep-out "enter" of an object not
// known yet (its "created" may follow); keep-out exits, movements in zones of
// other kinds and other movements of objects or zones the context does not
// know go at once. A created or updated object has its keep-in and keep-out
// alarms brought in line at once (its MAC address may have come or gone).
// Deleting a zone or an object clears every alarm it is part of.
//
// Threading: events-loop thread only; all work happens inside repository
// notifications. Subscribes after the context's keep-in index, so it reads
// the state after each change.
class alarms_generator : public context::context::zones::observer,
                         public context::context::trackable_objects::observer,
                         public context::context::zone_events::observer {
public:
    using timestamp = libs::core::timestamp;

    // The context must be loaded and the controller must have registered the
    // platform's alarms.
    // The clock tells the time of the settling at start and after rebuilds.
    alarms_generator(context::context& ctx, alarms_controller& controller,
                     libs::core::clock& clock = libs::core::real_clock());
    alarms_generator(const alarms_generator&) = delete;
    alarms_generator& operator=(const alarms_generator&) = delete;

    // Brings every alarm in line with the context as it is now: zone events
    // first (in uid order), then every object's keep-in alarms, then the
    // alarms whose object or zone is gone. why names the occasion in the
    // alarm log lines.
    void settle(const char* why);

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
    void settle_zone_events(timestamp now);
    void settle_alarms(timestamp now);
    // Whether the rules still need the event once it has been handled.
    bool keeps(const context::zone_event& event) const;
    // Both visit only uids that start with the prefix (all when it is empty).
    void clear_alarms_where(std::string_view prefix,
                            const std::function<bool(const context::alarm&)>& match, timestamp ts);
    void remove_zone_events_where(std::string_view prefix,
                                  const std::function<bool(const context::zone_event&)>& match,
                                  timestamp ts);

    ki_alarms_generator m_ki_zones;
    ko_alarms_generator m_ko_zones;
    context::context& m_context;
    alarms_controller& m_alarms_controller;
    libs::core::clock& m_clock;
    // The type each zone had when last seen, to tell a change of type.
    std::map<std::string, context::zone_type, std::less<>> m_zone_types;
    context::context::trackable_objects::subscription_handle m_trobjects_subscription;
    context::context::zones::subscription_handle m_zones_subscription;
    context::context::zone_events::subscription_handle m_zone_events_subscription;
};

}  // namespace zentu
