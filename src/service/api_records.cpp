#include "service/api_records.hpp"

#include <json/writer.h>

namespace zentu::api {

namespace {

Json::Value uid_list(const std::set<std::string>& uids) {
    Json::Value out(Json::arrayValue);
    for (const auto& uid : uids)
        out.append(uid);
    return out;
}

}  // namespace

Json::Value iso(libs::core::timestamp ts) {
    return ts.to_iso_8601_string(true);
}

Json::Value text_or_null(const std::optional<std::string>& text) {
    return text ? Json::Value(*text) : Json::Value(Json::nullValue);
}

const char* kind_name(context::alarm_type kind) {
    return kind == context::alarm_type::ki ? "keep_in" : "keep_out";
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
