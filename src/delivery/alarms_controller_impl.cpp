#include "delivery/alarms_controller_impl.hpp"
#include "context/alarm_rules.hpp"
#include "context/pair_uid.hpp"
#include "context/protocol.hpp"
#include "delivery/alarm_request.hpp"

#include <algorithm>

#include "core/log_text.hpp"

namespace zentu {

namespace http = libs::core::http;
using context::alarm_type;
using wait = alarms_controller_impl::alarm_info::wait;
using platform_state = alarms_controller_impl::platform_state;

namespace {

constexpr std::string_view set_text = protocol::set;
constexpr std::string_view clear_text = protocol::clear;
constexpr std::string_view zone_violation = protocol::zone_violation;
constexpr std::array<alarm_type, 2> kinds{alarm_type::ki, alarm_type::ko};

std::size_t index_of(alarm_type kind) {
    return kind == alarm_type::ki ? 0 : 1;
}

bool says_set(const context::alarm& alarm) {
    return alarm.get_state() == set_text;
}

// The platform refused the request itself: sending it again at once would
// only be refused again.
bool is_rejected_as_malformed(const http::result& result) {
    return result.status_code() == 400 || result.status_code() == 422;
}

alarm_reporting::outcome outcome_of(const http::result& result, bool set) {
    using outcome = alarm_reporting::outcome;
    if (result.not_sent())
        return outcome::read_only;
    if (result.ok())
        return outcome::accepted;
    // The platform answers 404 for an alarm it does not know: for a clear,
    // nothing is left to do; a set is taken as delivered too, but visibly.
    if (result.status_code() == 404)
        return set ? outcome::not_found : outcome::accepted;
    return result.status_code() ? outcome::rejected : outcome::failed;
}

bool is_delivered(alarm_reporting::outcome o) {
    using outcome = alarm_reporting::outcome;
    return o == outcome::accepted || o == outcome::not_found || o == outcome::read_only;
}

}  // namespace

alarms_controller::ptr alarms_controller::create(context::context& ctx, http::client& http_client,
                                                 const libs::core::component_logger& logger,
                                                 libs::core::timers_manager& timers,
                                                 int zone_violation_histeresis,
                                                 int buffer_violation_histeresis) {
    return std::make_unique<alarms_controller_impl>(
        ctx, http_client, logger, timers, zone_violation_histeresis, buffer_violation_histeresis);
}

alarms_controller_impl::alarms_controller_impl(
    context::context& ctx, http::client& http_client, const libs::core::component_logger& logger,
    libs::core::timers_manager& timers, int zone_violation_histeresis,
    int buffer_violation_histeresis, ops::service_metrics& metrics, const std::string& server_url)
    : m_context(ctx),
      m_http_client(http_client),
      m_logger(logger),
      m_timers(timers),
      m_zone_violation_histeresis(zone_violation_histeresis),
      m_buffer_violation_histeresis(buffer_violation_histeresis),
      m_reporting(logger, metrics, server_url + alarms_address) {
    register_alarms();
}

alarms_controller_impl::~alarms_controller_impl() {
    for (const auto& [uid, info] : m_infos)
        if (info.m_sent)
            m_reporting.abandoned(uid);
}

void alarms_controller_impl::set_ki_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                          optional_event event, timestamp ts) {
    set_alarm(obj_uid, zone_uid, event, false, ts, alarm_type::ki);
}

void alarms_controller_impl::set_settled_ki_alarm(const std::string& obj_uid,
                                                  const std::string& zone_uid, timestamp ts) {
    set_alarm(obj_uid, zone_uid, boost::none, true, ts, alarm_type::ki);
}

void alarms_controller_impl::clear_ki_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                            optional_event event, timestamp ts) {
    clear_alarm(obj_uid, zone_uid, event, ts, alarm_type::ki);
}

void alarms_controller_impl::set_ko_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                          const context::zone_event& event, timestamp ts) {
    set_alarm(obj_uid, zone_uid, optional_event(event), false, ts, alarm_type::ko);
}

void alarms_controller_impl::clear_ko_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                            optional_event event, timestamp ts) {
    clear_alarm(obj_uid, zone_uid, event, ts, alarm_type::ko);
}

void alarms_controller_impl::not_raised_without_mac(const std::string& obj_uid,
                                                    const std::string& zone_uid, alarm_type type) {
    if (m_told_without_mac.insert(context::pair_uid(obj_uid, zone_uid)).second)
        m_reporting.without_mac(obj_uid, zone_uid, type, m_cause);
}

std::optional<alarms_controller_impl::alarm_state> alarms_controller_impl::get_state(
    const std::string& uid) const {
    const auto it = m_infos.find(uid);
    if (it == m_infos.end())
        return std::nullopt;
    const auto found = m_context.get_alarms().try_get(uid);
    return state_of(it->second, found ? &*found : nullptr);
}

alarms_controller_impl::alarm_state alarms_controller_impl::state_of(const alarm_info& info,
                                                                     const context::alarm* stored) {
    const bool wanted_set = stored && says_set(*stored);
    const auto next = next_request(info, stored);
    if (info.m_sent) {
        if (!info.m_sent->set)
            return wanted_set ? alarm_state::sending_clear_but_must_be_set
                              : alarm_state::sending_clear;
        if (!wanted_set)
            return alarm_state::sending_set_but_must_be_clear;
        return next ? alarm_state::sending_set : alarm_state::set;
    }
    if (!next)
        return wanted_set ? alarm_state::set : alarm_state::clear;
    return next->set ? alarm_state::sending_set : alarm_state::sending_clear;
}

std::string_view alarms_controller_impl::to_string(alarm_state state) {
    switch (state) {
        case alarm_state::clear:
            return "clear";
        case alarm_state::sending_set:
            return "sending set";
        case alarm_state::sending_set_but_must_be_clear:
            return "sending set but must be clear";
        case alarm_state::set:
            return "set";
        case alarm_state::sending_clear:
            return "sending clear";
        case alarm_state::sending_clear_but_must_be_set:
            return "sending clear but must be set";
    }
    return "unknown";
}

std::string_view alarms_controller_impl::to_string(platform_state state) {
    switch (state) {
        case platform_state::clear:
            return "clear";
        case platform_state::set:
            return "set";
        case platform_state::unknown:
            return "unknown";
    }
    return "unknown";
}

const alarms_controller_impl::alarm_info* alarms_controller_impl::get_info(
    const std::string& uid) const {
    const auto it = m_infos.find(uid);
    return it == m_infos.end() ? nullptr : &it->second;
}

void alarms_controller_impl::register_alarms() {
    m_context.get_alarms().for_each([this](const context::alarm& alarm) {
        take_over(alarm);
        return true;
    });
}

void alarms_controller_impl::take_over(const context::alarm& alarm) {
    auto& info = get_alarm_info(alarm.get_uid());
    info.m_confirmed[index_of(alarm.get_alarm_type())] = platform_state::set;
    advance(alarm.get_uid(), info, occasion::wish);
    m_reporting.open_alarms(m_context.get_alarms().size());
}

void alarms_controller_impl::reconcile_with_platform(
    const context::context::alarms& platform_alarms) {
    const auto now = m_timers.current_timestamp();
    platform_alarms.for_each([&](const context::alarm& open) {
        const auto& uid = open.get_uid();
        const auto held = m_context.get_alarms().try_get(uid);
        if (!held) {
            take_over(m_context.take_alarms().add(open, open.get_timestamp()));
            return true;
        }
        const auto kind = open.get_alarm_type();
        if (held->get_alarm_type() == kind)
            return true;
        // Open on the platform as the other kind: cleared with its own body.
        auto& info = get_alarm_info(uid);
        auto& confirmed = info.m_confirmed[index_of(kind)];
        if (confirmed == platform_state::clear)
            confirmed = platform_state::unknown;
        if (!info.m_left_behind[index_of(kind)]) {
            auto& left = info.m_left_behind[index_of(kind)].emplace(open);
            left.set_state(std::string(clear_text));
            left.set_timestamp(now);
        }
        advance(uid, info, occasion::wish);
        return true;
    });
}

void alarms_controller_impl::set_histeresis(int zone_violation_histeresis,
                                            int buffer_violation_histeresis) {
    if (zone_violation_histeresis == m_zone_violation_histeresis &&
        buffer_violation_histeresis == m_buffer_violation_histeresis)
        return;
    m_zone_violation_histeresis = zone_violation_histeresis;
    m_buffer_violation_histeresis = buffer_violation_histeresis;
    // Open alarms wait the new period, counted from their last re-send.
    const auto now = m_timers.current_time_point();
    for (auto& [uid, info] : m_infos) {
        if (info.m_waiting != wait::resend)
            continue;
        const auto stored = m_context.get_alarms().try_get(uid);
        if (!stored)
            continue;
        const auto period = get_histeresis(*stored);
        if (period == info.m_histeresis)
            continue;
        const auto started = info.m_timer_started;
        const auto due = started + period;
        start_timer(uid, info, wait::resend,
                    due > now ? due - now : std::chrono::nanoseconds::zero());
        info.m_timer_started = started;
        info.m_histeresis = period;
    }
}

void alarms_controller_impl::set_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                       const optional_event& event, bool settled, timestamp ts,
                                       alarm_type type) {
    const auto zone = m_context.get_zones().try_get(zone_uid);
    const auto object = m_context.get_trackable_objects().try_get(obj_uid);
    if (!zone || !object)
        return;
    // Whoever asks, nothing is raised that the rule of its kind refuses.
    const auto verdict = context::alarm_verdict(type, *zone, *object);
    if (verdict == context::rule_verdict::no_mac) {
        // Nothing can be raised for a tag the platform cannot be told of.
        not_raised_without_mac(obj_uid, zone_uid, type);
        return;
    }
    if (verdict != context::rule_verdict::applies)
        return;
    const auto& mac_address = object->get_mac_address();

    std::int32_t x = 0, y = 0, z = 0;
    std::optional<std::string> sublocation;
    if (event) {
        x = event->get_x();
        y = event->get_y();
        z = event->get_z();
        sublocation = event->get_sublocation_uid();
    } else if (settled) {
        sublocation = object->get_sublocation_uid();
    } else {
        sublocation = m_context.get_sublocation_uid(*zone);
        if (!sublocation)
            sublocation = object->get_sublocation_uid();
    }

    const std::string uid = context::pair_uid(obj_uid, zone_uid);
    m_told_without_mac.erase(uid);
    const auto fresh = [&] {
        return context::alarm(uid, obj_uid, sublocation, zone_uid, *mac_address,
                              std::string(alarm_name_for(*zone)), zone->get_alarm_level(), type,
                              alarm_text_for(type, *zone), std::string(set_text), ts, x, y, z);
    };
    if (const auto found = m_context.get_alarms().try_get(uid)) {
        if (says_set(*found) && found->get_alarm_type() == type)
            return;  // wanted already
        auto& info = get_alarm_info(uid);
        auto stored = m_context.take_alarms().try_get(uid, ts);
        auto& alarm = **stored;
        if (alarm.get_alarm_type() != type) {
            // The zone changed its kind: what the platform holds of the old
            // kind is cleared with the body it was raised with, and the new
            // kind is a new alarm.
            // (A request of the old kind on the wire may still open it.)
            auto& left = info.m_left_behind[index_of(alarm.get_alarm_type())].emplace(alarm);
            if (says_set(left)) {
                left.set_state(std::string(clear_text));
                left.set_timestamp(ts);
            }
            alarm = fresh();
        } else {
            // Wanted set again: later requests and the mirror must say so.
            alarm.set_state(std::string(set_text));
            alarm.set_timestamp(ts);
            if (x != 0)
                alarm.set_x(x);
            if (y != 0)
                alarm.set_y(y);
            if (z != 0)
                alarm.set_z(z);
            if (sublocation)
                alarm.set_sublocation_uid(*sublocation);
        }
        m_reporting.decided(alarm, true, m_cause);
        stored.reset();
        advance(uid, info, occasion::wish);
        return;
    }

    const auto& added = m_context.take_alarms().add(fresh(), ts);
    m_reporting.decided(added, true, m_cause);
    m_reporting.open_alarms(m_context.get_alarms().size());
    advance(uid, get_alarm_info(uid), occasion::wish);
}

void alarms_controller_impl::clear_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                         const optional_event& event, timestamp ts,
                                         alarm_type type) {
    const std::string uid = context::pair_uid(obj_uid, zone_uid);
    const auto found = m_context.get_alarms().try_get(uid);
    if (!found || found->get_alarm_type() != type)
        return;
    const bool was_set = says_set(*found);
    auto stored = m_context.take_alarms().try_get(uid, ts);
    auto& alarm = **stored;
    alarm.set_state(std::string(clear_text));
    alarm.set_timestamp(ts);
    if (event) {
        alarm.set_x(event->get_x());
        alarm.set_y(event->get_y());
        alarm.set_z(event->get_z());
    }
    if (was_set)
        m_reporting.decided(alarm, false, m_cause);
    stored.reset();
    advance(uid, get_alarm_info(uid), occasion::wish);
}

std::chrono::seconds alarms_controller_impl::get_histeresis(const context::alarm& alarm) const {
    const int seconds = alarm.get_alarm_name() == zone_violation ? m_zone_violation_histeresis
                                                                 : m_buffer_violation_histeresis;
    // 0 means "never re-send"; a negative period would re-send without pause.
    return seconds > 0 ? std::chrono::seconds(seconds) : never;
}

alarms_controller_impl::alarm_info& alarms_controller_impl::get_alarm_info(const std::string& uid) {
    return m_infos.try_emplace(uid).first->second;
}

void alarms_controller_impl::delete_all_data(const std::string& uid) {
    if (const auto found = m_infos.find(uid); found != m_infos.end()) {
        if (found->second.m_sent)
            m_reporting.abandoned(uid);
        track_confirmation(uid, found->second, true);
        m_infos.erase(found);
    }
    m_context.take_alarms().remove(uid, m_timers.current_timestamp());
    m_reporting.open_alarms(m_context.get_alarms().size());
}

std::optional<alarms_controller_impl::request> alarms_controller_impl::next_request(
    const alarm_info& info, const context::alarm* stored) {
    std::optional<alarm_type> wanted;
    if (stored && says_set(*stored))
        wanted = stored->get_alarm_type();
    // Kinds that must not be open go first: a kind change clears the old
    // kind before the new one is raised.
    for (const auto kind : kinds)
        if (kind != wanted && info.m_confirmed[index_of(kind)] != platform_state::clear)
            return request{kind, false};
    if (wanted && info.m_confirmed[index_of(*wanted)] != platform_state::set)
        return request{*wanted, true};
    return std::nullopt;
}

void alarms_controller_impl::advance(const std::string& uid, alarm_info& info, occasion why) {
    const auto found = m_context.get_alarms().try_get(uid);
    const context::alarm* stored = found ? &*found : nullptr;
    const auto next = next_request(info, stored);
    track_confirmation(uid, info, !next);
    if (info.m_sent)
        return;  // what is wanted then goes out once it has answered
    // A kind the platform is known not to hold needs no record to clear it.
    for (const auto kind : kinds)
        if (info.m_confirmed[index_of(kind)] == platform_state::clear &&
            (!stored || stored->get_alarm_type() != kind))
            info.m_left_behind[index_of(kind)].reset();
    if (!next) {
        if (!stored || !says_set(*stored)) {
            delete_all_data(uid);
        } else if (info.m_waiting != wait::resend) {
            info.m_histeresis = get_histeresis(*stored);
            start_timer(uid, info, wait::resend, info.m_histeresis);
        }
        return;
    }
    switch (why) {
        case occasion::wish:
            // A retry that is due soon sends what is wanted then; a backoff
            // holds back only the request that was refused.
            if (info.m_waiting == wait::retry)
                return;
            if (info.m_waiting == wait::backoff) {
                if (info.m_rejected != next)
                    start_timer(uid, info, wait::retry, retry_delay);
                return;
            }
            break;
        case occasion::failed:
            start_timer(uid, info, wait::retry, retry_delay);
            return;
        case occasion::rejected:
            if (info.m_rejected == next)
                start_timer(uid, info, wait::backoff, backoff_after(info.m_rejections));
            else
                start_timer(uid, info, wait::retry, retry_delay);
            return;
        case occasion::answered:
        case occasion::timer:
            break;
    }
    const auto& left = info.m_left_behind[index_of(next->kind)];
    const context::alarm* record = stored && stored->get_alarm_type() == next->kind ? stored
                                   : left                                           ? &*left
                                                                                    : nullptr;
    if (!record) {
        // Nothing says what the platform holds of this kind any more (the
        // alarm left the context): take it as clear.
        info.m_confirmed[index_of(next->kind)] = platform_state::clear;
        advance(uid, info, why);
        return;
    }
    send(
        uid, info, *record, *next,
        why == occasion::timer ? alarm_reporting::attempt::retry : alarm_reporting::attempt::first);
}

void alarms_controller_impl::send(const std::string& uid, alarm_info& info,
                                  const context::alarm& record, request what,
                                  alarm_reporting::attempt kind) {
    std::string body = alarm_request_body(record);
    m_logger.debug("%1%") % body;
    if (info.m_last != what)
        info.m_attempt = 0;
    info.m_last = what;
    ++info.m_attempt;
    info.m_timer.reset();
    info.m_waiting = wait::none;
    info.m_sent = what;
    info.m_sent_at = m_timers.current_time_point();
    m_reporting.sending(kind);
    info.m_request = m_http_client.perform_async_request(http::method::post, alarms_address, body,
                                                         [this, uid](const http::result& result) {
                                                             // The handle that owns this closure is
                                                             // kept until the call ends.
                                                             // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
                                                             const std::string own_uid = uid;
                                                             request_callback(own_uid, result);
                                                         });
    info.m_sent_body = std::move(body);
}

void alarms_controller_impl::start_timer(const std::string& uid, alarm_info& info,
                                         alarm_info::wait what, std::chrono::nanoseconds delay) {
    static const std::string names[] = {"", "histeresis timer", "retry timer", "backoff timer"};
    info.m_waiting = what;
    info.m_timer_started = m_timers.current_time_point();
    info.m_timer_due =
        info.m_timer_started + std::chrono::duration_cast<time_point::duration>(delay);
    info.m_timer = m_timers.create_timer(
        delay, names[static_cast<std::size_t>(what)],
        [this, uid](libs::core::timer::time_point) {
            // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
            const std::string own_uid = uid;
            on_timer(own_uid);
        },
        ZENTU_SOURCE_LOCATION());
}

void alarms_controller_impl::on_timer(const std::string& uid) {
    const auto it = m_infos.find(uid);
    if (it == m_infos.end())
        return;
    auto& info = it->second;
    // The timer that runs this call stays alive until it returns.
    const auto fired = std::move(info.m_timer);
    const auto what = info.m_waiting;
    info.m_waiting = wait::none;
    if (what == wait::resend) {
        const auto stored = m_context.get_alarms().try_get(uid);
        if (stored && says_set(*stored) && !next_request(info, &*stored)) {
            send(uid, info, *stored, request{stored->get_alarm_type(), true},
                 alarm_reporting::attempt::resend);
            return;
        }
    }
    advance(uid, info, occasion::timer);
}

void alarms_controller_impl::request_callback(const std::string& uid, const http::result& result) {
    const auto it = m_infos.find(uid);
    if (it == m_infos.end() || !it->second.m_sent)
        return;
    auto& info = it->second;
    // The handle that runs this call stays alive until it returns.
    const auto finished = std::move(info.m_request);
    const request what = *info.m_sent;
    info.m_sent.reset();

    const auto outcome = outcome_of(result, what.set);
    const bool delivered = is_delivered(outcome);
    const bool rejected = !delivered && is_rejected_as_malformed(result);
    auto& confirmed = info.m_confirmed[index_of(what.kind)];
    const auto carried = what.set ? platform_state::set : platform_state::clear;
    if (delivered)
        info.m_last_failure.clear();
    else if (result.status_code())
        info.m_last_failure = "status " + std::to_string(*result.status_code());
    else
        info.m_last_failure =
            result.error() ? libs::core::log_excerpt(*result.error()) : std::string("no answer");
    if (delivered) {
        confirmed = carried;
        info.m_rejected.reset();
        info.m_rejections = 0;
    } else if (rejected) {
        // Refused as it stands: the platform kept what it had.
        info.m_rejections = info.m_rejected == what ? info.m_rejections + 1 : 1;
        info.m_rejected = what;
    } else if (confirmed != carried) {
        // The request may or may not have reached the platform.
        confirmed = platform_state::unknown;
    }
    const auto found = m_context.get_alarms().try_get(uid);

    const auto now = m_timers.current_time_point();
    const std::string_view state = what.set ? set_text : clear_text;
    if (m_reporting.answered(uid, state, result, info.m_attempt, outcome, now - info.m_sent_at,
                             now) &&
        !delivered)
        m_logger.error("%1%") %
            (result.error() ? libs::core::log_excerpt(*result.error()) : std::string("Error"));
    if (delivered)
        info.m_attempt = 0;
    if (rejected) {
        const auto next = next_request(info, found ? &*found : nullptr);
        const std::string then =
            !next
                ? "no longer needed"
                : "what is wanted then goes out in " +
                      std::to_string(
                          (next == what ? backoff_after(info.m_rejections) : retry_delay).count()) +
                      " s";
        m_logger.error("Alarm %1% rejected by the platform as malformed (status %2%): %3%; %4%") %
            uid % *result.status_code() % info.m_sent_body % then;
    }
    advance(uid, info,
            delivered  ? occasion::answered
            : rejected ? occasion::rejected
                       : occasion::failed);
}

void alarms_controller_impl::track_confirmation(const std::string& uid, alarm_info& info,
                                                bool confirmed) {
    if (confirmed == !info.m_unconfirmed_since)
        return;
    if (confirmed) {
        m_unconfirmed.erase({*info.m_unconfirmed_since, uid});
        info.m_unconfirmed_since.reset();
    } else {
        info.m_unconfirmed_since = m_timers.current_time_point();
        m_unconfirmed.emplace(*info.m_unconfirmed_since, uid);
    }
    publish_undelivered();
}

void alarms_controller_impl::publish_undelivered() {
    if (m_unconfirmed.empty())
        m_reporting.undelivered(0, std::nullopt, {});
    else
        m_reporting.undelivered(m_unconfirmed.size(), m_unconfirmed.begin()->first,
                                m_unconfirmed.begin()->second);
}

std::chrono::seconds alarms_controller_impl::backoff_after(unsigned rejections) {
    auto delay = first_backoff;
    for (unsigned i = 1; i < rejections && delay < longest_backoff; ++i)
        delay *= 2;
    return std::min(delay, longest_backoff);
}

}  // namespace zentu
