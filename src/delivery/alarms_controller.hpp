#pragma once

#include <boost/optional.hpp>
#include <memory>
#include <string>

#include "context/alarm.hpp"
#include "context/zone_event.hpp"
#include "core/timestamp.hpp"

namespace zentu {

namespace context {
class context;
}
namespace libs::core {
class component_logger;
class timers_manager;
namespace http {
class client;
}
}  // namespace libs::core

// Carries the generators' decisions to the context's alarms and to the
// platform's alarms API. Used from the events-loop thread only.
class alarms_controller {
public:
    using ptr = std::unique_ptr<alarms_controller>;
    using timestamp = libs::core::timestamp;
    using optional_event = boost::optional<const context::zone_event&>;

    // Registers the alarms already in the context; they count as set.
    static ptr create(context::context& ctx, libs::core::http::client& http_client,
                      const libs::core::component_logger& logger,
                      libs::core::timers_manager& timers, int zone_violation_histeresis,
                      int buffer_violation_histeresis);

    // What made the rules decide, for the alarm log lines, e.g. "zone event"
    // and the event's uid; the texts must live while set and clear calls are
    // made under it.
    struct cause {
        const char* what = "a change of the context";
        const std::string* subject = nullptr;
        const std::string* detail = nullptr;
        std::string to_string() const;
    };

    virtual ~alarms_controller() = default;

    void set_cause(cause c) noexcept { m_cause = c; }

    // Sets the cause for its lifetime.
    class cause_scope {
    public:
        cause_scope(alarms_controller& controller, cause c) noexcept : m_controller(controller) {
            controller.set_cause(c);
        }
        ~cause_scope() { m_controller.set_cause({}); }
        cause_scope(const cause_scope&) = delete;
        cause_scope& operator=(const cause_scope&) = delete;

    private:
        alarms_controller& m_controller;
    };

    virtual void set_ki_alarm(const std::string& obj_uid, const std::string& zone_uid,
                              optional_event event, timestamp ts) = 0;
    // A keep-in alarm found by settling the state at start-up or after a
    // rebuild: no movement gave it, so it lies at the origin, in the object's
    // own sublocation (none when it has none).
    virtual void set_settled_ki_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                      timestamp ts) {
        set_ki_alarm(obj_uid, zone_uid, boost::none, ts);
    }
    virtual void clear_ki_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                optional_event event, timestamp ts) = 0;
    virtual void set_ko_alarm(const std::string& obj_uid, const std::string& zone_uid,
                              const context::zone_event& event, timestamp ts) = 0;
    virtual void clear_ko_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                optional_event event, timestamp ts) = 0;
    // The rules would raise this alarm, but its object has no MAC address to
    // name it by; told every time, reported once per pair.
    virtual void not_raised_without_mac(const std::string& /*obj_uid*/,
                                        const std::string& /*zone_uid*/,
                                        context::alarm_type /*type*/) {}

protected:
    cause m_cause;
};

}  // namespace zentu
