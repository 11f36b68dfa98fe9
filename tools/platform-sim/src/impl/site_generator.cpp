#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

#include "core/timestamp.hpp"
#include "platform-sim/common.hpp"
#include "platform-sim/messages.hpp"
#include "platform-sim/site_generator.hpp"

namespace zentu::platform_sim {
namespace {

std::map<std::string, std::size_t> parse_layout(const std::string& layout) {
    std::map<std::string, std::size_t> values;
    std::stringstream stream(layout);
    std::string item;
    while (std::getline(stream, item, ',')) {
        if (item.empty())
            continue;
        const auto equal = item.find('=');
        const auto key = item.substr(0, equal);
        static const char* known[] = {"objects",  "zones",    "keep_in",
                                      "keep_out", "projects", "alarms"};
        if (std::find(std::begin(known), std::end(known), key) == std::end(known))
            throw request_error(400, "unknown site size \"" + key + "\"");
        const auto number = equal == std::string::npos ? "" : item.substr(equal + 1);
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
            number.size() > 9)
            throw request_error(400, "\"" + item + "\" is not key=number");
        values[key] = std::stoul(number);
    }
    return values;
}

std::string mac_of(std::size_t n) {
    char text[18];
    std::snprintf(text, sizeof text, "02:00:00:%02x:%02x:%02x",
                  static_cast<unsigned>(n >> 16 & 0xff), static_cast<unsigned>(n >> 8 & 0xff),
                  static_cast<unsigned>(n & 0xff));
    return text;
}

Json::Value square(int x, int y, int size) {
    Json::Value positions(Json::arrayValue);
    for (auto [dx, dy] : {std::pair{0, 0}, {0, 1}, {1, 1}, {1, 0}}) {
        Json::Value point(Json::objectValue);
        point["x"] = x + dx * size;
        point["y"] = y + dy * size;
        positions.append(point);
    }
    Json::Value geometry(Json::objectValue);
    geometry["positions"] = positions;
    return geometry;
}

}  // namespace

Json::Value generate_site(const std::string& layout) {
    auto values = parse_layout(layout);
    auto value_or = [&values](const char* key, std::size_t fallback) {
        auto it = values.find(key);
        return it == values.end() ? fallback : it->second;
    };
    auto zones = value_or("zones", 10);
    const auto keep_in = value_or("keep_in", zones / 5);
    const auto keep_out = value_or("keep_out", zones / 5);
    zones = std::max(zones, keep_in + keep_out);
    const auto objects = value_or("objects", 100);
    const auto projects = std::max<std::size_t>(1, value_or("projects", 1));
    const auto alarms = value_or("alarms", 0);
    const auto now = iso_time(libs::core::timestamp::current_time());
    auto project = [](std::size_t p) { return "project-" + std::to_string(p + 1); };
    auto sublocation = [](std::size_t p) { return "sl-" + std::to_string(p + 1); };

    Json::Value site(Json::objectValue);
    for (std::size_t p = 0; p < projects; ++p) {
        Json::Value record(Json::objectValue);
        record["uid"] = sublocation(p);
        record["project_uid"] = project(p);
        record["name"] = "Floor " + std::to_string(p + 1);
        site["sublocations"].append(record);
    }

    std::vector<std::vector<std::size_t>> keep_in_of(projects), keep_out_of(projects);
    for (std::size_t i = 0; i < zones; ++i) {
        const auto p = i % projects;
        const char* type = i < keep_in              ? "keep_in"
                           : i < keep_in + keep_out ? "keep_out"
                                                    : "information";
        (i < keep_in ? keep_in_of : keep_out_of)[p].push_back(i);
        Json::Value zone(Json::objectValue);
        zone["uid"] = "zone-" + std::to_string(i + 1);
        zone["project_uid"] = project(p);
        zone["name"] = std::string(type) + " zone " + std::to_string(i + 1);
        zone["sublocation_uid"] = sublocation(p);
        zone["active"] = true;
        zone["shape"] = "polygon";
        zone["zone_type_name"] = type;
        zone["zone_alarm_level"] = static_cast<unsigned>(i % 3 + 1);
        zone["default_allowed"] = false;
        zone["priority"] = 0;
        zone["updated_at"] = now;
        zone["trackable_object_uid"] = Json::Value();
        zone["zone_exceptions"] = Json::Value(Json::arrayValue);
        zone["zone_exceptions_groups"] = Json::Value(Json::arrayValue);
        zone["zone_geometry"] =
            square(static_cast<int>(i % 50) * 2000, static_cast<int>(i / 50) * 2000, 1500);
        zone["trackables_in_zone"] = Json::Value(Json::arrayValue);
        site["zones"].append(zone);
    }
    // Information zones were filed as keep-out above; keep only real ones.
    for (auto& list : keep_out_of)
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](std::size_t i) { return i >= keep_in + keep_out; }),
                   list.end());

    for (std::size_t j = 0; j < objects; ++j) {
        const auto p = j % projects;
        const auto uid = "obj-" + std::to_string(j + 1);
        Json::Value object(Json::objectValue);
        object["uid"] = uid;
        object["name"] = "Object " + std::to_string(j + 1);
        object["node"]["responsive"] = true;
        object["node"]["mac_address"] = mac_of(j + 1);
        object["project_uid"] = project(p);
        object["position"]["x"] = static_cast<int>(j % 1000) * 10;
        object["position"]["y"] = static_cast<int>(j / 1000) * 10;
        object["position"]["z"] = 0;
        object["position"]["sl_id"] = sublocation(p);
        object["updated_at"] = now;
        object["self_zone_uid"] = Json::Value();
        object["groups"] = Json::Value(Json::arrayValue);
        object["default_height"] = 150;
        object["type"] = "person";
        object["category"] = "worker";
        object["tag_config"]["stationary"] = false;
        site["trackableObjects"].append(object);

        // Every object starts inside one keep-in zone of its project.
        if (!keep_in_of[p].empty()) {
            const auto zone = keep_in_of[p][(j / projects) % keep_in_of[p].size()];
            Json::Value entry(Json::objectValue);
            entry["uid"] = uid;
            entry["entered"]["x"] = object["position"]["x"];
            entry["entered"]["y"] = object["position"]["y"];
            entry["entered"]["z"] = 0;
            entry["entered"]["time"] = now;
            site["zones"][static_cast<Json::ArrayIndex>(zone)]["trackables_in_zone"].append(entry);
        }
        if (j < alarms && !keep_out_of[p].empty()) {
            const auto zone = keep_out_of[p][(j / projects) % keep_out_of[p].size()];
            const auto& zone_record = site["zones"][static_cast<Json::ArrayIndex>(zone)];
            Json::Value alarm(Json::objectValue);
            alarm["uid"] = "alarm-g" + std::to_string(j + 1);
            alarm["mac_address"] = mac_of(j + 1);
            alarm["alarm_name"] = "zone_violation";
            alarm["additional_info"]["text"] = "Keep out zone " + zone_record["name"].asString() +
                                               " with zone alarm level " +
                                               zone_record["zone_alarm_level"].asString();
            alarm["additional_info"]["zone_alarm_level"] = zone_record["zone_alarm_level"];
            alarm["additional_info"]["zone_violation_type"] = "keep_out";
            alarm["additional_info"]["zone_uid"] = zone_record["uid"];
            alarm["ts"] = now;
            alarm["sublocation_uid"] = sublocation(p);
            alarm["x"] = object["position"]["x"];
            alarm["y"] = object["position"]["y"];
            alarm["z"] = 0;
            alarm["obj_uid"] = uid;
            site["alarms"].append(alarm);
        }
    }
    for (const char* list : {"zones", "trackableObjects", "alarms", "win_anchors", "nodes"})
        if (!site.isMember(list))
            site[list] = Json::Value(Json::arrayValue);

    Json::Value zone_violation(Json::objectValue), buffer_violation(Json::objectValue);
    zone_violation["name"] = "zone_violation";
    zone_violation["histeresis"] = 30;
    buffer_violation["name"] = "buffer_violation";
    buffer_violation["histeresis"] = 60;
    site["alarm_types"].append(zone_violation);
    site["alarm_types"].append(buffer_violation);
    return site;
}

}  // namespace zentu::platform_sim
