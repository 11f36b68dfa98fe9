#include "platform-sim/alarm_request.hpp"

namespace zentu::platform_sim {
namespace {

// jsoncpp calls a whole real number "integral"; the platform wants JSON integers.
bool is_integer(const Json::Value& v) {
    return v.type() == Json::intValue || v.type() == Json::uintValue;
}

bool is_unsigned(const Json::Value& v) {
    return v.type() == Json::uintValue || (v.type() == Json::intValue && v.asInt64() >= 0);
}

std::string quoted(const std::string& key) {
    return "\"" + key + "\"";
}

}  // namespace

std::string alarm_key(const std::string& obj_uid, const std::string& zone_uid) {
    return obj_uid + ":" + zone_uid;
}

std::optional<std::string> validate_alarm_request(const Json::Value& body) {
    if (!body.isObject())
        return "the body is not a JSON object";
    for (const char* key : {"obj_uid", "mac_address", "alarm_name", "state", "obj_class"})
        if (!body[key].isString())
            return quoted(key) + " is not a string";
    const auto state = body["state"].asString();
    if (state != "set" && state != "clear")
        return "\"state\" is neither \"set\" nor \"clear\"";
    if (body["obj_class"].asString() != "TO")
        return "\"obj_class\" is not \"TO\"";
    if (!is_integer(body["ts"]))
        return "\"ts\" is not an integer";
    if (!is_unsigned(body["ms"]))
        return "\"ms\" is not an unsigned integer";
    if (body["ms"].asUInt64() > 999)
        return "\"ms\" is greater than 999";
    for (const char* key : {"x", "y", "z"})
        if (body.isMember(key) && !is_integer(body[key]))
            return quoted(key) + " is not an integer";
    if (!body.isMember("sublocation_uid"))
        return "\"sublocation_uid\" is missing";
    if (!body["sublocation_uid"].isString() && !body["sublocation_uid"].isNull())
        return "\"sublocation_uid\" is neither a string nor null";
    const auto& info = body["additional_info"];
    if (!info.isObject())
        return "\"additional_info\" is not an object";
    if (!is_unsigned(info["zone_alarm_level"]))
        return "\"additional_info.zone_alarm_level\" is not an unsigned integer";
    for (const char* key : {"zone_uid", "text", "zone_violation_type"})
        if (!info[key].isString())
            return "\"additional_info." + std::string(key) + "\" is not a string";
    const auto type = info["zone_violation_type"].asString();
    if (type != "keep_in" && type != "keep_out")
        return "\"additional_info.zone_violation_type\" is neither \"keep_in\" nor \"keep_out\"";
    return std::nullopt;
}

}  // namespace zentu::platform_sim
