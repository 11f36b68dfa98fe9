#include "service/api_records.hpp"
#include "context/pair_uid.hpp"

#include <json/writer.h>

namespace zentu::api {

namespace {

using platform_state = alarms_controller_impl::platform_state;
using wait = alarms_controller_impl::alarm_info::wait;

Json::Value uid_list(const std::set<std::string>& uids) {
    Json::Value out(Json::arrayValue);
    for (const auto& uid : uids)
        out.append(uid);
    return out;
}

const char* wait_name(wait w) {
    switch (w) {
        case wait::resend:
            return "resend";
        case wait::retry:
            return "retry";
        case wait::backoff:
            return "backoff";
        case wait::none:
            break;
    }
    return nullptr;
}

}  // namespace

Json::Value clock_reader::wall(libs::core::timer::time_point at) const {
    return iso(m_wall + std::chrono::duration_cast<std::chrono::milliseconds>(at - m_now));
}

Json::Value iso(libs::core::timestamp ts) {
    return ts.to_iso_8601_string(true);
}

Json::Value text_or_null(const std::optional<std::string>& text) {
    return text ? Json::Value(*text) : Json::Value(Json::nullValue);
}

const char* kind_name(context::alarm_type kind) {
    return kind == context::alarm_type::ki ? "keep_in" : "keep_out";
}

Json::Value alarm_json(const std::string& uid, const context::alarm* stored,
                       const alarms_controller_impl& controller, const clock_reader& clock) {
    Json::Value out(Json::objectValue);
    out["uid"] = uid;
    const auto* info = controller.get_info(uid);
    if (stored) {
        out["object"] = stored->get_trobject_uid();
        out["zone"] = stored->get_zone_uid();
        out["kind"] = kind_name(stored->get_alarm_type());
        out["level"] = stored->get_zone_alarm_level();
        out["name"] = stored->get_alarm_name();
        out["wanted"] = stored->get_state();
        out["since"] = iso(stored->get_timestamp());
    } else {
        out["wanted"] = Json::nullValue;
    }
    const auto state = controller.get_state(uid);
    out["state"] = state ? Json::Value(std::string(alarms_controller_impl::to_string(*state)))
                         : Json::Value(Json::nullValue);
    Json::Value confirmed(Json::objectValue);
    Json::Value in_flight(Json::nullValue);
    Json::Value next(Json::nullValue);
    Json::Value waiting(Json::nullValue);
    Json::Value failure(Json::nullValue);
    Json::Value undelivered_since(Json::nullValue);
    unsigned attempts = 0;
    if (info) {
        for (const auto kind : {context::alarm_type::ki, context::alarm_type::ko})
            confirmed[kind_name(kind)] = std::string(alarms_controller_impl::to_string(
                info->m_confirmed[kind == context::alarm_type::ki ? 0 : 1]));
        if (info->m_sent) {
            in_flight = Json::Value(Json::objectValue);
            in_flight["kind"] = kind_name(info->m_sent->kind);
            in_flight["state"] = info->m_sent->set ? "set" : "clear";
            in_flight["sent_at"] = clock.wall(info->m_sent_at);
        }
        if (const char* name = wait_name(info->m_waiting)) {
            waiting = name;
            next = clock.wall(info->m_timer_due);
        }
        if (!info->m_last_failure.empty())
            failure = info->m_last_failure;
        if (info->m_unconfirmed_since)
            undelivered_since = clock.wall(*info->m_unconfirmed_since);
        attempts = info->m_attempt;
    }
    out["confirmed"] = confirmed;
    out["in_flight"] = in_flight;
    out["attempts"] = attempts;
    out["last_failure"] = failure;
    out["undelivered_since"] = undelivered_since;
    out["waiting"] = waiting;
    out["next_send"] = next;
    return out;
}

Json::Value alarm_list_json(const context::context& ctx, const alarms_controller_impl& controller,
                            const clock_reader& clock, const alarm_filter& filter) {
    Json::Value list(Json::arrayValue);
    const auto add = [&](const std::string& uid, const context::alarm* stored) {
        if (filter.object && (!stored || stored->get_trobject_uid() != *filter.object))
            return;
        if (filter.zone && (!stored || stored->get_zone_uid() != *filter.zone))
            return;
        list.append(alarm_json(uid, stored, controller, clock));
    };
    if (filter.undelivered) {
        for (const auto& [since, uid] : controller.get_unconfirmed()) {
            const auto stored = ctx.get_alarms().try_get(uid);
            add(uid, stored ? &*stored : nullptr);
        }
    } else {
        const auto each = [&](const context::alarm& alarm) {
            add(alarm.get_uid(), &alarm);
            return true;
        };
        if (filter.object)
            ctx.get_alarms().for_each_with_prefix(context::pair_prefix(*filter.object), each);
        else
            ctx.get_alarms().for_each(each);
    }
    Json::Value out(Json::objectValue);
    out["alarms"] = std::move(list);
    return out;
}

std::string compact(const Json::Value& value) {
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    return Json::writeString(writer, value) + "\n";
}

Json::Value explanation_json(const context::object_explanation& e) {
    Json::Value out(Json::objectValue);
    const auto& o = e.object;
    Json::Value object(Json::objectValue);
    object["uid"] = o.get_uid();
    object["project"] = o.get_project_uid();
    object["groups"] = uid_list(o.get_groups());
    object["mac_address"] = text_or_null(o.get_mac_address());
    object["responsive"] = o.get_responsive();
    object["sublocation"] = text_or_null(o.get_sublocation_uid());
    object["updated"] = iso(o.get_ts());
    out["object"] = object;

    Json::Value last(Json::nullValue);
    if (e.last_event) {
        last = Json::Value(Json::objectValue);
        last["zone"] = e.last_event->get_zone_uid();
        last["action"] = e.last_event->get_action();
        last["at"] = iso(e.last_event->get_ts());
    }
    out["last_zone_event"] = last;

    Json::Value keep_in(Json::arrayValue);
    for (const auto& z : e.keep_in) {
        Json::Value zone(Json::objectValue);
        zone["uid"] = z.zone_uid;
        zone["name"] = z.zone_name;
        zone["active"] = z.active;
        zone["applies"] = z.verdict == context::rule_verdict::applies;
        zone["verdict"] = std::string(context::to_string(z.verdict));
        zone["position"] = std::string(context::to_string(z.position));
        zone["position_from"] = std::string(context::to_string(z.source));
        zone["position_known"] = z.source != context::keep_in_index::position_source::not_listed;
        keep_in.append(zone);
    }
    out["keep_in_zones"] = keep_in;

    Json::Value keep_out(Json::arrayValue);
    for (const auto& z : e.keep_out) {
        Json::Value zone(Json::objectValue);
        zone["uid"] = z.zone_uid;
        zone["name"] = z.zone_name;
        zone["since"] = iso(z.since);
        zone["verdict"] = std::string(context::to_string(z.verdict));
        keep_out.append(zone);
    }
    out["keep_out_zones"] = keep_out;

    Json::Value alarms(Json::arrayValue);
    for (const auto& a : e.alarms) {
        Json::Value alarm(Json::objectValue);
        alarm["zone"] = a.zone_uid;
        alarm["zone_name"] = a.zone_name;
        alarm["kind"] = kind_name(a.kind);
        alarm["wanted"] = a.wanted;
        alarm["held"] = text_or_null(a.held_state);
        alarm["why"] = a.why;
        alarms.append(alarm);
    }
    out["alarms"] = alarms;
    out["keep_in"] = e.keep_in_reason;
    out["keep_out"] = e.keep_out_reason;
    return out;
}

Json::Value zone_rule_json(const context::zone& zone) {
    Json::Value out(Json::objectValue);
    out["uid"] = zone.get_uid();
    out["name"] = zone.get_name();
    out["type"] = std::string(context::to_string(zone.get_type()));
    out["active"] = zone.get_active();
    out["project"] = zone.get_project_uid();
    out["sublocation"] = text_or_null(zone.get_sublocation_uid());
    out["level"] = zone.get_alarm_level();
    out["default_allowed"] = zone.get_default_allowed();
    out["exceptions"] = uid_list(zone.get_exceptions());
    out["exceptions_groups"] = uid_list(zone.get_exceptions_groups());
    out["attached_to"] = text_or_null(zone.get_trackable_object_uid());
    return out;
}

}  // namespace zentu::api
