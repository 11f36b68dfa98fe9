#include "platform-sim/messages.hpp"

#include "core/json.hpp"

namespace zentu::platform_sim {

Json::Value make_notify(const std::string& object, const std::string& action,
                        const Json::Value& plist, libs::core::timestamp ts) {
    Json::Value message(Json::objectValue);
    message["object"] = object;
    message["action"] = action;
    message["plist"] = plist;
    message["ts"] = static_cast<Json::Int64>(ts.get_ts());
    message["ms"] = ts.get_ms();
    return message;
}

std::string make_frame(const std::string& topic, const Json::Value& document) {
    return "#" + topic + libs::core::json::to_string(document);
}

std::string iso_time(libs::core::timestamp ts) {
    return ts.to_iso_8601_string(true);
}

}  // namespace zentu::platform_sim
