#include "test_kit/platform_records.hpp"

#include "core/json.hpp"

namespace zentu::test_kit::platform {
namespace {

constexpr const char* record_time = "2021-03-04T05:06:07.089Z";

Json::Value texts(const std::vector<std::string>& values) {
    Json::Value out(Json::arrayValue);
    for (const auto& value : values)
        out.append(value);
    return out;
}

}  // namespace

record& record::set(const std::string& member, Json::Value value) {
    m_json[member] = std::move(value);
    return *this;
}

record& record::without(const std::string& member) {
    m_json.removeMember(member);
    return *this;
}

std::string record::text() const {
    return libs::core::json::to_string(m_json);
}

zone_record::zone_record(const std::string& uid) {
    m_json["uid"] = uid;
    m_json["project_uid"] = "p1";
    m_json["name"] = "Zone " + uid;
    m_json["sublocation_uid"] = "s1";
    m_json["active"] = true;
    m_json["shape"] = "polygon";
    m_json["zone_type_name"] = "keep_in";
    m_json["zone_alarm_level"] = 2;
    m_json["default_allowed"] = false;
    m_json["priority"] = 1;
    m_json["updated_at"] = record_time;
    m_json["zone_exceptions"] = Json::Value(Json::arrayValue);
    m_json["zone_exceptions_groups"] = Json::Value(Json::arrayValue);
    m_json["trackables_in_zone"] = Json::Value(Json::arrayValue);
}

zone_record& zone_record::project(const std::string& uid) {
    m_json["project_uid"] = uid;
    return *this;
}

zone_record& zone_record::type(const std::string& name) {
    m_json["zone_type_name"] = name;
    return *this;
}

zone_record& zone_record::without_occupancy() {
    m_json.removeMember("trackables_in_zone");
    return *this;
}

zone_record& zone_record::inside(const std::string& obj_uid, int x, int y, int z) {
    Json::Value entered(Json::objectValue);
    entered["x"] = x;
    entered["y"] = y;
    entered["z"] = z;
    entered["time"] = record_time;
    Json::Value entry(Json::objectValue);
    entry["uid"] = obj_uid;
    entry["entered"] = std::move(entered);
    m_json["trackables_in_zone"].append(std::move(entry));
    return *this;
}

object_record::object_record(const std::string& uid) {
    m_json["uid"] = uid;
    m_json["name"] = "obj";
    m_json["project_uid"] = "p1";
    m_json["node"]["responsive"] = true;
    m_json["node"]["mac_address"] = "aa:" + uid;
    m_json["updated_at"] = "2021-03-04T05:06:07.000Z";
    m_json["position"]["sl_id"] = "s1";
    m_json["groups"] = Json::Value(Json::arrayValue);
}

object_record& object_record::project(const std::string& uid) {
    m_json["project_uid"] = uid;
    return *this;
}

object_record& object_record::groups(const std::vector<std::string>& groups) {
    m_json["groups"] = texts(groups);
    return *this;
}

zone_event_message::zone_event_message(const std::string& obj_uid, const std::string& zone_uid) {
    m_json["ts"] = 1700000000;
    m_json["ms"] = 7;
    m_json["obj_uid"] = obj_uid;
    m_json["sublocation_uid"] = "s1";
    m_json["project_uid"] = "p1";
    m_json["zone_uid"] = zone_uid;
    m_json["zone_type_name"] = "keep_in";
    m_json["action"] = "enter";
    m_json["x"] = 1;
    m_json["y"] = 2;
    m_json["z"] = 3;
}

zone_event_message& zone_event_message::action(const std::string& action) {
    m_json["action"] = action;
    return *this;
}

zone_event_message& zone_event_message::type(const std::string& name) {
    m_json["zone_type_name"] = name;
    return *this;
}

zone_event_message& zone_event_message::project(const std::string& uid) {
    m_json["project_uid"] = uid;
    return *this;
}

zone_event_message& zone_event_message::sublocation(const std::string& uid) {
    m_json["sublocation_uid"] = uid;
    return *this;
}

std::string notify(const std::string& object, const std::string& action, const std::string& plist,
                   std::int64_t ts, int ms) {
    Json::Value envelope(Json::objectValue);
    envelope["object"] = object;
    envelope["action"] = action;
    envelope["ts"] = Json::Int64(ts);
    envelope["ms"] = ms;
    // The record as it is written: it may be malformed on purpose.
    std::string text = libs::core::json::to_string(envelope);
    text.pop_back();
    return text + ",\"plist\":" + plist + "}";
}

std::string list(const std::string& member, const std::vector<std::string>& records) {
    std::string out = "{\"" + member + "\":[";
    for (std::size_t i = 0; i < records.size(); ++i)
        out += (i ? "," : "") + records[i];
    return out + "]}";
}

}  // namespace zentu::test_kit::platform
