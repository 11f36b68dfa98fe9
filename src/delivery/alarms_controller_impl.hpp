#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "context/alarm.hpp"
#include "context/context.hpp"
#include "core/async_operation_handle.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "core/timer.hpp"
#include "delivery/alarm_reporting.hpp"
#include "delivery/alarm_request.hpp"
#include "delivery/alarms_controller.hpp"
#include "ops/metrics.hpp"

namespace zentu {

// Carries each alarm to the platform by comparing, per alarm uid, the state
// that is wanted with the state the platform last confirmed, and moving the
// one toward the other after every wish, answer and timer.
//
// The wanted state is the alarm stored in the context: "set" of its kind, or
// "clear" (until the platform confirms it and the alarm is forgotten); no
// stored alarm means nothing of the pair may be open. The confirmed state is
// kept per kind (keep-in, keep-out): clear, set, or unknown once a request's
// answer was lost. So:
// - at most one request per uid is on the wire: a wish that changes meanwhile
//   goes out when it has answered, and an answer confirms exactly what its
//   request carried;
// - a kind that is no longer wanted is cleared on the platform with the body
//   it was raised with, before the set of the new kind goes out;
// - a failed request is followed by what is wanted then, a second later; one
//   the platform rejected as malformed (400, 422) after a backoff that grows
//   to a minute, unless the wish changes meanwhile;
// - a set alarm the platform confirmed is re-sent every re-send period.
// At most one timer per uid is pending. Alarms whose wanted state is not
// confirmed yet are counted, with the age of the oldest, for health.
//
// Threading: events-loop thread only; timer expiries and request results are
// delivered there. Timers and request handles live in m_infos, so none of
// their callbacks can run after the controller is gone.
class alarms_controller_impl : public alarms_controller {
public:
    // The controller's state of one uid, as operators and tests know it.
    enum class alarm_state {
        clear = 0,
        sending_set = 1,
        sending_set_but_must_be_clear = 2,
        set = 3,
        sending_clear = 4,
        sending_clear_but_must_be_set = 5
    };
    // What the platform holds of one kind of alarm of a pair, as far as known.
    enum class platform_state : std::uint8_t { clear, set, unknown };
    using time_point = libs::core::timer::time_point;

    // One request: a kind, and set or clear.
    struct request {
        context::alarm_type kind;
        bool set;
        bool operator==(const request& other) const {
            return kind == other.kind && set == other.set;
        }
        bool operator!=(const request& other) const { return !(*this == other); }
    };

    struct alarm_info {
        // What the platform last confirmed, by kind (index: alarm_type).
        std::array<platform_state, 2> m_confirmed{platform_state::clear, platform_state::clear};
        // The record of a kind the stored alarm no longer has, saying "clear",
        // kept until the platform confirms that clear.
        std::array<std::optional<context::alarm>, 2> m_left_behind;
        // The request on the wire, what it carries and its body.
        libs::core::http::client::handle::ptr m_request;
        std::optional<request> m_sent;
        std::string m_sent_body;
        time_point m_sent_at{};
        // The last request and how many of it were sent in a row.
        std::optional<request> m_last;
        unsigned m_attempt = 0;
        // The request last rejected as malformed and how often in a row.
        std::optional<request> m_rejected;
        unsigned m_rejections = 0;
        // The one pending timer and what it waits for.
        enum class wait : std::uint8_t { none, resend, retry, backoff };
        libs::core::timer::ptr m_timer;
        wait m_waiting = wait::none;
        time_point m_timer_started{};
        std::chrono::seconds m_histeresis{0};
        // Since when the wanted state waits for the platform's confirmation.
        std::optional<time_point> m_unconfirmed_since;
        // When the pending timer fires (for operators).
        time_point m_timer_due{};
        // Why the last request did not deliver ("status 500", a transport
        // error); empty once one did (for operators).
        std::string m_last_failure;
    };
    using infos = std::map<std::string, alarm_info, std::less<>>;
    using unconfirmed_uids = std::set<std::pair<time_point, std::string>>;

    // server_url only names the platform in log lines.
    alarms_controller_impl(context::context& ctx, libs::core::http::client& http_client,
                           const libs::core::component_logger& logger,
                           libs::core::timers_manager& timers, int zone_violation_histeresis,
                           int buffer_violation_histeresis,
                           ops::service_metrics& metrics = ops::unread_metrics(),
                           const std::string& server_url = {});
    ~alarms_controller_impl() override;
    alarms_controller_impl(const alarms_controller_impl&) = delete;
    alarms_controller_impl& operator=(const alarms_controller_impl&) = delete;

    void set_ki_alarm(const std::string& obj_uid, const std::string& zone_uid, optional_event event,
                      timestamp ts) override;
    void set_settled_ki_alarm(const std::string& obj_uid, const std::string& zone_uid,
                              timestamp ts) override;
    void clear_ki_alarm(const std::string& obj_uid, const std::string& zone_uid,
                        optional_event event, timestamp ts) override;
    void set_ko_alarm(const std::string& obj_uid, const std::string& zone_uid,
                      const context::zone_event& event, timestamp ts) override;
    void clear_ko_alarm(const std::string& obj_uid, const std::string& zone_uid,
                        optional_event event, timestamp ts) override;
    void not_raised_without_mac(const std::string& obj_uid, const std::string& zone_uid,
                                context::alarm_type type) override;

    // An alarm added to the context as open on the platform (at start, after
    // a rebuild): it counts as set and is re-sent after its period.
    void take_over(const context::alarm& alarm);
    // The platform's open alarms as a rebuild found them: those the service
    // does not hold are added and taken over; one of another kind than the
    // service holds for its pair is cleared with its own body.
    void reconcile_with_platform(const context::context::alarms& platform_alarms);
    // The periods read by a rebuild; the alarms already open wait the new
    // period from their last re-send.
    void set_histeresis(int zone_violation_histeresis, int buffer_violation_histeresis);

    // Controller state of an alarm uid, if it has any (for inspection).
    std::optional<alarm_state> get_state(const std::string& uid) const;
    // The same from the uid's info and its stored alarm (null when none), for
    // whoever holds both already.
    static alarm_state state_of(const alarm_info& info, const context::alarm* stored);
    const alarm_info* get_info(const std::string& uid) const;
    // Alarms whose wanted state the platform has not confirmed yet.
    std::size_t undelivered_count() const noexcept { return m_unconfirmed.size(); }
    // Every uid the controller holds state for, and the unconfirmed ones,
    // oldest first (for inspection).
    const infos& get_infos() const noexcept { return m_infos; }
    const unconfirmed_uids& get_unconfirmed() const noexcept { return m_unconfirmed; }
    // "clear", "sending set", "sending set but must be clear", "set",
    // "sending clear", "sending clear but must be set".
    static std::string_view to_string(alarm_state state);
    // "clear", "set", "unknown".
    static std::string_view to_string(platform_state state);

    static constexpr const char* alarms_address = zentu::alarms_address;
    static constexpr std::chrono::seconds never{99'999'999};
    static constexpr std::chrono::seconds retry_delay{1};
    static constexpr std::chrono::seconds first_backoff{5};
    static constexpr std::chrono::seconds longest_backoff{60};

private:
    // Why the controller looks at a uid again.
    enum class occasion { wish, answered, failed, rejected, timer };

    void register_alarms();
    void set_alarm(const std::string& obj_uid, const std::string& zone_uid,
                   const optional_event& event, bool settled, timestamp ts,
                   context::alarm_type type);
    void clear_alarm(const std::string& obj_uid, const std::string& zone_uid,
                     const optional_event& event, timestamp ts, context::alarm_type type);
    std::chrono::seconds get_histeresis(const context::alarm& alarm) const;
    alarm_info& get_alarm_info(const std::string& uid);
    // Forgets the uid: its state, timer and request, and the stored alarm.
    void delete_all_data(const std::string& uid);

    // The request that brings the platform closer to what is wanted; none
    // when it holds what is wanted.
    static std::optional<request> next_request(const alarm_info& info,
                                               const context::alarm* stored);
    // Moves the uid toward what is wanted, as fits the occasion.
    void advance(const std::string& uid, alarm_info& info, occasion why);
    void send(const std::string& uid, alarm_info& info, const context::alarm& record, request what,
              alarm_reporting::attempt kind);
    void start_timer(const std::string& uid, alarm_info& info, alarm_info::wait what,
                     std::chrono::nanoseconds delay);
    void on_timer(const std::string& uid);
    void request_callback(const std::string& uid, const libs::core::http::result& result);
    // Keeps the count and age of the unconfirmed alarms true for the uid.
    void track_confirmation(const std::string& uid, alarm_info& info, bool confirmed);
    void publish_undelivered();
    static std::chrono::seconds backoff_after(unsigned rejections);

    context::context& m_context;
    libs::core::http::client& m_http_client;
    const libs::core::component_logger& m_logger;
    libs::core::timers_manager& m_timers;
    int m_zone_violation_histeresis;
    int m_buffer_violation_histeresis;
    infos m_infos;
    // The unconfirmed uids, oldest first.
    unconfirmed_uids m_unconfirmed;
    // Pairs told once that no alarm was raised for lack of a MAC address.
    std::set<std::string, std::less<>> m_told_without_mac;
    alarm_reporting m_reporting;
};

}  // namespace zentu
