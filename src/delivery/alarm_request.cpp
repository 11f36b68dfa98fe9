#include "delivery/alarm_request.hpp"

#include <json/value.h>
#include <json/writer.h>

#include <string_view>

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

std::string alarm_request_body_by_value(const context::alarm& alarm) {
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

namespace {

// A text as the JSON writer quotes it. Texts with nothing to escape (uids,
// MAC addresses, plain names) are copied; the others go through the JSON
// library's own quoting, so that every byte stays as before.
bool append_quoted(std::string& out, std::string_view text) {
    bool plain = true;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x80 || c == '"' || c == '\\') {
            plain = false;
            break;
        }
    }
    if (plain) {
        out += '"';
        out += text;
        out += '"';
        return true;
    }
    if (text.find('\0') != std::string_view::npos)
        return false;  // the library's quoting takes C strings only
    out += Json::valueToQuotedString(std::string(text).c_str());
    return true;
}

template <typename Number>
void append_number(std::string& out, const char* name, Number number) {
    out += '"';
    out += name;
    out += "\":";
    out += std::to_string(number);
}

bool append_text(std::string& out, const char* name, std::string_view text) {
    out += '"';
    out += name;
    out += "\":";
    return append_quoted(out, text);
}

}  // namespace

// Written directly, in the members' order of the JSON library's writer (by
// name), which alarm_request_body_by_value spells out: the same bytes at a
// fraction of the cost, on the path of every alarm request.
std::string alarm_request_body(const context::alarm& alarm) {
    std::string out;
    out.reserve(448);
    const std::string_view kind =
        alarm.get_alarm_type() == context::alarm_type::ki ? protocol::keep_in : protocol::keep_out;
    out += "{\"additional_info\":{";
    bool ok = append_text(out, "text", alarm.get_alarm_text());
    out += ',';
    append_number(out, "zone_alarm_level", alarm.get_zone_alarm_level());
    out += ',';
    ok = append_text(out, "zone_uid", alarm.get_zone_uid()) && ok;
    out += ',';
    ok = append_text(out, "zone_violation_type", kind) && ok;
    out += "},";
    ok = append_text(out, "alarm_name", alarm.get_alarm_name()) && ok;
    out += ',';
    ok = append_text(out, "mac_address", alarm.get_mac_address()) && ok;
    out += ',';
    append_number(out, "ms", alarm.get_timestamp().get_ms());
    out += ",\"obj_class\":\"TO\",";
    ok = append_text(out, "obj_uid", alarm.get_trobject_uid()) && ok;
    out += ',';
    ok = append_text(out, "state", alarm.get_state()) && ok;
    out += ",\"sublocation_uid\":";
    if (const auto sublocation = alarm.get_sublocation_uid())
        ok = append_quoted(out, *sublocation) && ok;
    else
        out += "null";
    out += ',';
    append_number(out, "ts", alarm.get_timestamp().get_ts());
    if (const auto x = alarm.get_x()) {
        out += ',';
        append_number(out, "x", *x);
    }
    if (const auto y = alarm.get_y()) {
        out += ',';
        append_number(out, "y", *y);
    }
    if (const auto z = alarm.get_z()) {
        out += ',';
        append_number(out, "z", *z);
    }
    out += '}';
    return ok ? out : alarm_request_body_by_value(alarm);
}

}  // namespace zentu
