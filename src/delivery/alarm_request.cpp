#include "delivery/alarm_request.hpp"

#include <json/value.h>

#include "context/protocol.hpp"
#include "core/json.hpp"

namespace zentu {

std::string_view alarm_name_for(const context::zone& zone) {
    return zone.get_trackable_object_uid() ? protocol::buffer_violation : protocol::zone_violation;
}

std::string alarm_text_for(context::alarm_type kind, const context::zone& zone) {
    return std::string("Keep ") + (kind == context::alarm_type::ki ? "in" : "out") + " zone " +
           zone.get_name() + " with zone alarm level " + std::to_string(zone.get_alarm_level());
}

std::string alarm_request_body(const context::alarm& alarm) {
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
        alarm.get_alarm_type() == context::alarm_type::ki ? protocol::keep_in : protocol::keep_out);
    body["additional_info"] = std::move(info);
    return libs::core::json::to_string(body);
}

}  // namespace zentu
