#pragma once

#include <optional>
#include <string>

#include "context/alarm.hpp"
#include "context/keep_in_index.hpp"
#include "context/trackableobject.hpp"
#include "context/zone.hpp"
#include "context/zone_event.hpp"
#include "context_utils/objects_repository.hpp"

namespace zentu::context {

// The domain context: four observable repositories. Holders of a context may
// change zone events and alarms; only a writable_context changes zones and
// trackable objects. Used from the events-loop thread only.
class context {
public:
    using zone_events = libs::context_utils::objects_repository<zone_event>;
    using zones = libs::context_utils::objects_repository<zone>;
    using trackable_objects = libs::context_utils::objects_repository<trackable_object>;
    using alarms = libs::context_utils::objects_repository<alarm>;

    context() : m_keep_in(*this) {}
    context(const context&) = delete;
    context& operator=(const context&) = delete;
    virtual ~context() = default;

    const zones& get_zones() const noexcept { return m_zones; }
    const trackable_objects& get_trackable_objects() const noexcept { return m_trackable_objects; }
    const zone_events& get_zone_events() const noexcept { return m_zone_events; }
    const alarms& get_alarms() const noexcept { return m_alarms; }

    zone_events& take_zone_events() noexcept { return m_zone_events; }
    alarms& take_alarms() noexcept { return m_alarms; }

    // Where objects are, and the keep-in state derived from it.
    const keep_in_index& get_keep_in_index() const noexcept { return m_keep_in; }
    // The objects whose keep-in state changed since the last call, in uid order.
    std::vector<std::string> take_keep_in_changes() { return m_keep_in.take_changed(); }

    // Exchanges the zones, trackable objects, zone events and where objects
    // are with another context, without telling any observer: whoever does
    // it tells them. Alarms stay. No write handle may be alive.
    void swap_contents(context& other) noexcept {
        m_zone_events.swap_contents(other.m_zone_events);
        m_zones.swap_contents(other.m_zones);
        m_trackable_objects.swap_contents(other.m_trackable_objects);
        m_keep_in.swap_state(other.m_keep_in);
    }

    // The zone's own sublocation, else that of the object it is attached to.
    std::optional<std::string> get_sublocation_uid(const zone& z) const;

protected:
    zones& take_zones() noexcept { return m_zones; }
    trackable_objects& take_trackable_objects() noexcept { return m_trackable_objects; }
    keep_in_index& take_keep_in_index() noexcept { return m_keep_in; }

private:
    zone_events m_zone_events;
    zones m_zones;
    trackable_objects m_trackable_objects;
    alarms m_alarms;
    // Last: it observes the repositories above and must go before them.
    keep_in_index m_keep_in;
};

class writable_context : public context {
public:
    using context::take_keep_in_index;
    using context::take_trackable_objects;
    using context::take_zones;
};

}  // namespace zentu::context
