#include "alarms_controller_impl.hpp"
#include "protocol.hpp"

#include <json/value.h>

#include "core/json.hpp"

namespace zentu {

namespace http = libs::core::http;
using context::alarm_type;

namespace {

constexpr std::string_view set_text = protocol::set;
constexpr std::string_view clear_text = protocol::clear;
constexpr std::string_view zone_violation = protocol::zone_violation;
constexpr std::string_view buffer_violation = protocol::buffer_violation;

Json::Value request_body(const context::alarm& alarm) {
    Json::Value body(Json::objectValue);
    body["obj_uid"] = alarm.get_trobject_uid();
    body["mac_address"] = alarm.get_mac_address();
    body["alarm_name"] = alarm.get_alarm_name();
    body["state"] = alarm.get_state();
    body["obj_class"] = "TO";
    body["ts"] = Json::Int64(alarm.get_timestamp().get_ts());
    body["ms"] = Json::UInt(alarm.get_timestamp().get_ms());
    if (const auto x = alarm.get_x())
        body["x"] = Json::Int(*x);
    if (const auto y = alarm.get_y())
        body["y"] = Json::Int(*y);
    if (const auto z = alarm.get_z())
        body["z"] = Json::Int(*z);
    const auto sublocation = alarm.get_sublocation_uid();
    body["sublocation_uid"] = sublocation ? Json::Value(*sublocation) : Json::Value();
    Json::Value info(Json::objectValue);
    info["zone_alarm_level"] = Json::UInt(alarm.get_zone_alarm_level());
    info["zone_uid"] = alarm.get_zone_uid();
    info["text"] = alarm.get_alarm_text();
    info["zone_violation_type"] = std::string(
        alarm.get_alarm_type() == alarm_type::ki ? protocol::keep_in : protocol::keep_out);
    body["additional_info"] = std::move(info);
    return body;
}

bool is_accepted(const http::result& result) {
    // The platform answers 404 for an alarm it no longer knows: nothing left to do.
    return result.ok() || result.status_code() == 404;
}

// The platform refused the request itself: sending it again at once would
// only be refused again.
bool is_rejected_as_malformed(const http::result& result) {
    return result.status_code() == 400 || result.status_code() == 422;
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
    int buffer_violation_histeresis, ops::service_metrics* metrics, const std::string& server_url)
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
        if (info.m_in_flight)
            m_reporting.abandoned(uid);
}

void alarms_controller_impl::set_ki_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                          optional_event event, timestamp ts) {
    set_alarm(obj_uid, zone_uid, event, ts, alarm_type::ki);
}

void alarms_controller_impl::clear_ki_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                            optional_event event, timestamp ts) {
    clear_alarm(obj_uid, zone_uid, event, ts, alarm_type::ki);
}

void alarms_controller_impl::set_ko_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                          const context::zone_event& event, timestamp ts) {
    set_alarm(obj_uid, zone_uid, optional_event(event), ts, alarm_type::ko);
}

void alarms_controller_impl::clear_ko_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                            optional_event event, timestamp ts) {
    clear_alarm(obj_uid, zone_uid, event, ts, alarm_type::ko);
}

std::optional<alarms_controller_impl::alarm_state> alarms_controller_impl::get_state(
    const std::string& uid) const {
    const auto it = m_infos.find(uid);
    if (it == m_infos.end())
        return std::nullopt;
    return it->second.get_state();
}

void alarms_controller_impl::register_alarms() {
    m_context.get_alarms().for_each([this](const context::alarm& alarm) {
        take_over(alarm);
        return true;
    });
}

void alarms_controller_impl::take_over(const context::alarm& alarm) {
    auto& info = get_alarm_info(alarm.get_uid());
    info.set_state(alarm_state::set);
    info.m_histeresis = get_histeresis(alarm);
    start_request_after_histeresis(alarm.get_uid(), info);
    m_reporting.open_alarms(m_context.get_alarms().size());
}

void alarms_controller_impl::set_histeresis(int zone_violation_histeresis,
                                            int buffer_violation_histeresis) {
    m_zone_violation_histeresis = zone_violation_histeresis;
    m_buffer_violation_histeresis = buffer_violation_histeresis;
}

void alarms_controller_impl::set_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                       const optional_event& event, timestamp ts, alarm_type type) {
    const auto zone = m_context.get_zones().try_get(zone_uid);
    if (!zone || zone->get_type() != context::to_zone_type(type))
        return;
    const auto object = m_context.get_trackable_objects().try_get(obj_uid);
    if (!object)
        return;

    std::int32_t x = 0, y = 0, z = 0;
    std::optional<std::string> sublocation;
    if (event) {
        x = event->get_x();
        y = event->get_y();
        z = event->get_z();
        sublocation = event->get_sublocation_uid();
    } else {
        sublocation = m_context.get_sublocation_uid(*zone);
        if (!sublocation)
            sublocation = object->get_sublocation_uid();
    }

    const std::string uid = context::alarm::make_uid(obj_uid, zone_uid);
    auto& info = get_alarm_info(uid);
    switch (info.get_state()) {
        case alarm_state::clear:
            break;
        case alarm_state::sending_set_but_must_be_clear:
        case alarm_state::sending_clear: {
            info.set_state(info.get_state() == alarm_state::sending_clear
                               ? alarm_state::sending_clear_but_must_be_set
                               : alarm_state::sending_set);
            // The stored alarm said "clear" meanwhile; it is wanted set again,
            // and later re-sends and the mirror must say so.
            auto stored = m_context.take_alarms().try_get(uid, ts);
            if (stored) {
                auto& alarm = **stored;
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
                // The zone changed its kind while the old alarm was being cleared.
                if (alarm.get_alarm_type() != type) {
                    alarm.set_alarm_type(type);
                    alarm.set_alarm_text(form_alarm_text(type, *zone));
                    alarm.set_zone_alarm_level(zone->get_alarm_level());
                }
                m_reporting.decided(alarm, true, m_cause);
            }
            return;
        }
        case alarm_state::sending_set:
        case alarm_state::set:
        case alarm_state::sending_clear_but_must_be_set:
            return;
    }

    const auto& mac_address = object->get_mac_address();
    if (!mac_address) {
        // Nothing can be raised for a tag we cannot name; keep no state for it.
        if (!info.m_request && !info.m_timer)
            m_infos.erase(uid);
        return;
    }
    const auto& added = m_context.take_alarms().add(
        context::alarm(
            uid, obj_uid, sublocation, zone_uid, *mac_address,
            std::string(zone->get_trackable_object_uid() ? buffer_violation : zone_violation),
            zone->get_alarm_level(), type, form_alarm_text(type, *zone), std::string(set_text), ts,
            x, y, z),
        ts);
    info.m_histeresis = get_histeresis(added);
    m_reporting.decided(added, true, m_cause);
    m_reporting.open_alarms(m_context.get_alarms().size());
    start_request(added, info);
    info.set_state(alarm_state::sending_set);
}

void alarms_controller_impl::clear_alarm(const std::string& obj_uid, const std::string& zone_uid,
                                         const optional_event& event, timestamp ts,
                                         alarm_type type) {
    const std::string uid = context::alarm::make_uid(obj_uid, zone_uid);
    const auto found = m_context.get_alarms().try_get(uid);
    if (!found || found->get_alarm_type() != type)
        return;
    auto stored = m_context.take_alarms().try_get(uid, ts);
    auto& alarm = **stored;

    alarm.set_state(std::string(clear_text));
    alarm.set_timestamp(ts);
    if (event) {
        alarm.set_x(event->get_x());
        alarm.set_y(event->get_y());
        alarm.set_z(event->get_z());
    }

    auto& info = get_alarm_info(uid);
    switch (info.get_state()) {
        case alarm_state::set:
            m_reporting.decided(alarm, false, m_cause);
            start_request(alarm, info);
            info.set_state(alarm_state::sending_clear);
            break;
        case alarm_state::sending_clear_but_must_be_set:
            m_reporting.decided(alarm, false, m_cause);
            info.set_state(alarm_state::sending_clear);
            break;
        case alarm_state::sending_set:
            m_reporting.decided(alarm, false, m_cause);
            info.set_state(alarm_state::sending_set_but_must_be_clear);
            break;
        case alarm_state::clear:
        case alarm_state::sending_set_but_must_be_clear:
        case alarm_state::sending_clear:
            break;
    }
}

std::chrono::seconds alarms_controller_impl::get_histeresis(const context::alarm& alarm) const {
    const int seconds = alarm.get_alarm_name() == zone_violation ? m_zone_violation_histeresis
                                                                 : m_buffer_violation_histeresis;
    // 0 means "never re-send"; a negative period would re-send without pause.
    return seconds > 0 ? std::chrono::seconds(seconds) : never;
}

std::string alarms_controller_impl::form_alarm_text(alarm_type type, const context::zone& zone) {
    return std::string("Keep ") + (type == alarm_type::ki ? "in" : "out") + " zone " +
           zone.get_name() + " with zone alarm level " + std::to_string(zone.get_alarm_level());
}

alarms_controller_impl::alarm_info& alarms_controller_impl::get_alarm_info(const std::string& uid) {
    return m_infos.try_emplace(uid).first->second;
}

void alarms_controller_impl::delete_all_data(const std::string& uid) {
    if (const auto found = m_infos.find(uid); found != m_infos.end()) {
        if (found->second.m_in_flight)
            m_reporting.abandoned(uid);
        m_infos.erase(found);
    }
    m_context.take_alarms().remove(uid, m_timers.current_timestamp());
    m_reporting.open_alarms(m_context.get_alarms().size());
}

void alarms_controller_impl::start_request(const context::alarm& alarm, alarm_info& info,
                                           alarm_reporting::attempt kind) {
    const std::string body = libs::core::json::to_string(request_body(alarm));
    m_logger.debug("%1%") % body;
    if (info.m_in_flight)
        m_reporting.abandoned(alarm.get_uid());
    if (info.m_sent_state != alarm.get_state())
        info.m_attempt = 0;
    ++info.m_attempt;
    info.m_in_flight = true;
    info.m_sent_at = m_timers.current_time_point();
    m_reporting.sending(kind);
    info.m_sent_state = alarm.get_state();
    info.m_sent_body = body;
    info.m_request = m_http_client.perform_async_request(
        http::method::post, alarms_address, body,
        [this, uid = alarm.get_uid()](const http::result& result) {
            // The handle that owns this closure may be dropped by the call.
            // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
            const std::string own_uid = uid;
            auto* self = this;
            self->request_callback(own_uid, result);
        });
}

void alarms_controller_impl::start_request(const std::string& uid) {
    if (const auto alarm = m_context.get_alarms().try_get(uid)) {
        auto& info = get_alarm_info(uid);
        start_request(*alarm, info,
                      info.get_state() == alarm_state::set ? alarm_reporting::attempt::resend
                                                           : alarm_reporting::attempt::retry);
    } else {
        delete_all_data(uid);
    }
}

void alarms_controller_impl::start_request_after_histeresis(const std::string& uid,
                                                            alarm_info& info) {
    start_timer(uid, info, info.m_histeresis, "histeresis timer");
}

void alarms_controller_impl::retry_request_after_1_second(const std::string& uid,
                                                          alarm_info& info) {
    start_timer(uid, info, std::chrono::seconds(1), "retry timer");
}

void alarms_controller_impl::try_again(const std::string& uid, alarm_info& info, bool rejected) {
    if (rejected)
        start_request_after_histeresis(uid, info);
    else
        retry_request_after_1_second(uid, info);
}

void alarms_controller_impl::start_timer(const std::string& uid, alarm_info& info,
                                         std::chrono::seconds delay, const std::string& name) {
    info.m_timer = m_timers.create_timer(
        delay, name,
        [this, uid](libs::core::timer::time_point) {
            // The timer that owns this closure may be destroyed by the call.
            // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
            const std::string own_uid = uid;
            auto* self = this;
            self->start_request(own_uid);
        },
        ZENTU_SOURCE_LOCATION());
}

void alarms_controller_impl::request_callback(const std::string& uid, const http::result& result) {
    const bool accepted = is_accepted(result);
    const bool rejected = is_rejected_as_malformed(result);

    // A uid without state behaves as "clear": nothing to do, nothing to create.
    const auto found = m_infos.find(uid);
    if (found == m_infos.end())
        return;
    auto& info = found->second;
    info.m_in_flight = false;
    const auto now = m_timers.current_time_point();
    if (m_reporting.answered(uid, info.m_sent_state, result, info.m_attempt, accepted,
                             now - info.m_sent_at, now) &&
        !accepted)
        m_logger.error("%1%") % (result.error() ? *result.error() : "Error");
    if (accepted)
        info.m_attempt = 0;
    if (rejected)
        m_logger.error(
            "Alarm %1% rejected by the platform as malformed (status %2%): %3%; sent "
            "again after the re-send period") %
            uid % *result.status_code() % info.m_sent_body;
    switch (info.get_state()) {
        case alarm_state::clear:
            break;
        case alarm_state::sending_set:
            if (accepted && info.m_sent_state != set_text) {
                // A retry went out as "clear" before the set was wanted again.
                if (const auto alarm = m_context.get_alarms().try_get(uid))
                    start_request(*alarm, info);
                else
                    delete_all_data(uid);
            } else if (accepted) {
                start_request_after_histeresis(uid, info);
                info.set_state(alarm_state::set);
            } else {
                try_again(uid, info, rejected);
            }
            break;
        case alarm_state::sending_set_but_must_be_clear:
            if (const auto alarm = m_context.get_alarms().try_get(uid); !alarm) {
                delete_all_data(uid);
            } else if (accepted) {
                start_request(*alarm, info);
                info.set_state(alarm_state::sending_clear);
            } else {
                // The set may have reached the platform after all: the next
                // attempt carries the clear that is wanted now.
                try_again(uid, info, rejected);
                info.set_state(alarm_state::sending_clear);
            }
            break;
        case alarm_state::set:
            start_request_after_histeresis(uid, info);
            break;
        case alarm_state::sending_clear:
            if (accepted)
                delete_all_data(uid);
            else
                try_again(uid, info, rejected);
            break;
        case alarm_state::sending_clear_but_must_be_set:
            if (const auto alarm = m_context.get_alarms().try_get(uid); !alarm) {
                delete_all_data(uid);
            } else if (accepted) {
                start_request(*alarm, info);
                info.set_state(alarm_state::sending_set);
            } else {
                // The clear may have reached the platform after all: the next
                // attempt carries the set that is wanted now.
                try_again(uid, info, rejected);
                info.set_state(alarm_state::sending_set);
            }
            break;
    }
}

}  // namespace zentu
