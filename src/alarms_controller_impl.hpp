#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>

#include "alarm_reporting.hpp"
#include "alarms_controller.hpp"
#include "context/alarm.hpp"
#include "context/context.hpp"
#include "core/async_operation_handle.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "core/timer.hpp"

namespace zentu {

// Keeps, per alarm uid, a small state machine so that at most one request is
// in flight, a wish that arrives meanwhile is acted on when it answers, failed
// requests are retried every second and a set alarm is re-sent every period.
//
// Threading: events-loop thread only; timer expiries and request results are
// delivered there. Timers and request handles live in m_infos, so none of
// their callbacks can run after the controller is gone.
class alarms_controller_impl : public alarms_controller {
public:
    enum class alarm_state {
        clear = 0,
        sending_set = 1,
        sending_set_but_must_be_clear = 2,
        set = 3,
        sending_clear = 4,
        sending_clear_but_must_be_set = 5
    };

    struct alarm_info {
        alarm_state get_state() const noexcept { return m_state; }
        void set_state(alarm_state state) noexcept { m_state = state; }

        std::chrono::seconds m_histeresis{0};
        libs::core::timer::ptr m_timer;
        libs::core::http::client::handle::ptr m_request;
        // The alarm state carried by the request in flight ("set" or "clear"),
        // and its body.
        std::string m_sent_state;
        std::string m_sent_body;
        alarm_state m_state = alarm_state::clear;
        // Requests of the current state so far, and when the last one left.
        unsigned m_attempt = 0;
        libs::core::timer::time_point m_sent_at{};
        bool m_in_flight = false;
    };

    // metrics may be null; server_url only names the platform in log lines.
    alarms_controller_impl(context::context& ctx, libs::core::http::client& http_client,
                           const libs::core::component_logger& logger,
                           libs::core::timers_manager& timers, int zone_violation_histeresis,
                           int buffer_violation_histeresis, ops::service_metrics* metrics = nullptr,
                           const std::string& server_url = {});
    ~alarms_controller_impl() override;
    alarms_controller_impl(const alarms_controller_impl&) = delete;
    alarms_controller_impl& operator=(const alarms_controller_impl&) = delete;

    void set_ki_alarm(const std::string& obj_uid, const std::string& zone_uid, optional_event event,
                      timestamp ts) override;
    void clear_ki_alarm(const std::string& obj_uid, const std::string& zone_uid,
                        optional_event event, timestamp ts) override;
    void set_ko_alarm(const std::string& obj_uid, const std::string& zone_uid,
                      const context::zone_event& event, timestamp ts) override;
    void clear_ko_alarm(const std::string& obj_uid, const std::string& zone_uid,
                        optional_event event, timestamp ts) override;

    // An alarm added to the context as open on the platform (after a
    // rebuild): it counts as set and is re-sent after its period.
    void take_over(const context::alarm& alarm);
    // The periods of the alarms raised from now on.
    void set_histeresis(int zone_violation_histeresis, int buffer_violation_histeresis);

    // Controller state of an alarm uid, if it has any (for inspection).
    std::optional<alarm_state> get_state(const std::string& uid) const;

    static constexpr const char* alarms_address = "/api/private/alarms/";
    static constexpr std::chrono::seconds never{99'999'999};

private:
    void register_alarms();
    void set_alarm(const std::string& obj_uid, const std::string& zone_uid,
                   const optional_event& event, timestamp ts, context::alarm_type type);
    void clear_alarm(const std::string& obj_uid, const std::string& zone_uid,
                     const optional_event& event, timestamp ts, context::alarm_type type);
    std::chrono::seconds get_histeresis(const context::alarm& alarm) const;
    static std::string form_alarm_text(context::alarm_type type, const context::zone& zone);
    alarm_info& get_alarm_info(const std::string& uid);
    void delete_all_data(const std::string& uid);
    void start_request(const context::alarm& alarm, alarm_info& info,
                       alarm_reporting::attempt kind = alarm_reporting::attempt::first);
    void start_request(const std::string& uid);
    void start_request_after_histeresis(const std::string& uid, alarm_info& info);
    void retry_request_after_1_second(const std::string& uid, alarm_info& info);
    // A failed request is tried again a second later; one the platform
    // rejected as malformed only after the re-send period.
    void try_again(const std::string& uid, alarm_info& info, bool rejected);
    void start_timer(const std::string& uid, alarm_info& info, std::chrono::seconds delay,
                     const std::string& name);
    void request_callback(const std::string& uid, const libs::core::http::result& result);

    context::context& m_context;
    libs::core::http::client& m_http_client;
    const libs::core::component_logger& m_logger;
    libs::core::timers_manager& m_timers;
    int m_zone_violation_histeresis;
    int m_buffer_violation_histeresis;
    std::map<std::string, alarm_info, std::less<>> m_infos;
    alarm_reporting m_reporting;
};

}  // namespace zentu
