#include <algorithm>
#include <array>
#include <mutex>

#include "core/json.hpp"
#include "keyed_list.hpp"
#include "platform-sim/alarm_request.hpp"
#include "platform-sim/common.hpp"
#include "platform-sim/messages.hpp"
#include "platform-sim/site.hpp"

namespace zentu::platform_sim {
namespace {

using libs::core::timestamp;

Json::Value list_member(const Json::Value& document, std::string_view name) {
    const std::string key(name);
    if (!document.isMember(key))
        return Json::Value(Json::arrayValue);
    if (!document[key].isArray())
        throw request_error(400, "\"" + key + "\" is not an array");
    return document[key];
}

keyed_list load_by_uid(const Json::Value& document, std::string_view name) {
    keyed_list list;
    const auto records = list_member(document, name);
    for (Json::ArrayIndex i = 0; i < records.size(); ++i) {
        const auto& record = records[i];
        if (!record.isObject() || !record["uid"].isString())
            throw request_error(400, "\"" + std::string(name) + "\"[" + std::to_string(i) +
                                         "] has no string \"uid\"");
        list.put(record["uid"].asString(), record);
    }
    return list;
}

// Open alarms are keyed as the service keys them: object uid and zone uid.
keyed_list load_alarms(const Json::Value& document) {
    keyed_list list;
    const auto records = list_member(document, "alarms");
    for (Json::ArrayIndex i = 0; i < records.size(); ++i) {
        const auto& record = records[i];
        if (!record.isObject())
            throw request_error(400, "\"alarms\"[" + std::to_string(i) + "] is not an object");
        const auto& zone_uid = record["additional_info"]["zone_uid"];
        const std::string key = record["obj_uid"].isString() && zone_uid.isString()
                                    ? alarm_key(record["obj_uid"].asString(), zone_uid.asString())
                                    : "#" + std::to_string(i);
        list.put(key, record);
    }
    return list;
}

Json::Value default_alarm_types() {
    Json::Value types(Json::arrayValue);
    Json::Value zone(Json::objectValue);
    zone["name"] = "zone_violation";
    zone["histeresis"] = 30;
    Json::Value buffer(Json::objectValue);
    buffer["name"] = "buffer_violation";
    buffer["histeresis"] = 60;
    types.append(zone);
    types.append(buffer);
    return types;
}

int coordinate(const Json::Value& value, std::optional<int> given) {
    if (given)
        return *given;
    return value.isNumeric() ? value.asInt() : 0;
}

void merge(Json::Value& record, const Json::Value& fields) {
    for (const auto& name : fields.getMemberNames())
        record[name] = fields[name];
}

class site_impl final : public site {
public:
    explicit site_impl(const Json::Value& document) {
        if (!document.isObject())
            throw request_error(400, "the site is not a JSON object");
        m_zones = load_by_uid(document, "zones");
        m_objects = load_by_uid(document, "trackableObjects");
        m_win_anchors = list_member(document, "win_anchors");
        m_sublocations = list_member(document, "sublocations");
        m_nodes = list_member(document, "nodes");
        m_alarms = load_alarms(document);
        m_alarm_types =
            document.isMember("alarm_types") ? document["alarm_types"] : default_alarm_types();
    }

    Json::Value list_document(list_kind kind) const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        Json::Value document(Json::objectValue);
        document[std::string(info_of(kind).name)] = list_of(kind);
        return document;
    }

    std::string list_text(list_kind kind) const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto& cached = m_list_text[static_cast<std::size_t>(kind)];
        if (!cached) {
            const auto* records = keyed(kind);
            if (records) {
                // The text of the document {"<name>": [...]}, record by record.
                cached = "{\"" + std::string(info_of(kind).name) + "\":" + records->to_text() + "}";
            } else {
                Json::Value document(Json::objectValue);
                document[std::string(info_of(kind).name)] = list_of(kind);
                cached = libs::core::json::to_string(document);
            }
        }
        return *cached;
    }

    Json::Value alarm_types() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_alarm_types;
    }

    Json::Value snapshot() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        Json::Value document(Json::objectValue);
        for (const auto& info : lists)
            document[std::string(info.name)] = list_of(info.kind);
        document[std::string(alarm_types_name)] = m_alarm_types;
        return document;
    }

    std::optional<Json::Value> find_zone(const std::string& uid) const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto* zone = m_zones.find(uid);
        return zone ? std::optional<Json::Value>(*zone) : std::nullopt;
    }

    std::optional<Json::Value> find_object(const std::string& uid) const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto* object = m_objects.find(uid);
        return object ? std::optional<Json::Value>(*object) : std::nullopt;
    }

    std::vector<std::string> zone_uids() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_zones.keys();
    }

    std::vector<std::string> object_uids() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_objects.keys();
    }

    upsert_result upsert_zone(const Json::Value& fields, timestamp now) override {
        const auto uid = uid_of(fields);
        std::lock_guard<std::mutex> lock(m_mutex);
        changed(list_kind::zones);
        upsert_result result;
        auto* record = m_zones.find(uid);
        if (!record) {
            result.created = true;
            record = &m_zones.put(uid, default_zone(uid));
        }
        merge(*record, fields);
        if (!fields.isMember("updated_at"))
            (*record)["updated_at"] = iso_time(now);
        result.record = *record;
        return result;
    }

    upsert_result upsert_object(const Json::Value& fields, timestamp now) override {
        const auto uid = uid_of(fields);
        std::lock_guard<std::mutex> lock(m_mutex);
        changed(list_kind::trackable_objects);
        upsert_result result;
        auto* record = m_objects.find(uid);
        if (!record) {
            result.created = true;
            record = &m_objects.put(uid, default_object(uid));
        }
        merge(*record, fields);
        if (!fields.isMember("updated_at"))
            (*record)["updated_at"] = iso_time(now);
        result.record = *record;
        return result;
    }

    Json::Value remove_zone(const std::string& uid) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        changed(list_kind::zones);
        const auto* zone = m_zones.find(uid);
        if (!zone)
            throw request_error(404, "unknown zone \"" + uid + "\"");
        auto removed = *zone;
        m_zones.erase(uid);
        return removed;
    }

    Json::Value remove_object(const std::string& uid) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        changed(list_kind::trackable_objects);
        changed(list_kind::zones);
        const auto* object = m_objects.find(uid);
        if (!object)
            throw request_error(404, "unknown trackable object \"" + uid + "\"");
        auto removed = *object;
        m_objects.erase(uid);
        // A deleted object is inside no zone any more.
        for (auto& zone : m_zones.items())
            drop_trackable(zone.second, uid);
        return removed;
    }

    Json::Value enter(const std::string& obj_uid, const std::string& zone_uid,
                      const entry_point& at, timestamp now) override {
        return move(obj_uid, zone_uid, at, now, true);
    }

    Json::Value leave(const std::string& obj_uid, const std::string& zone_uid,
                      const entry_point& at, timestamp now) override {
        return move(obj_uid, zone_uid, at, now, false);
    }

    bool change_group(const std::string& obj_uid, const std::string& group, bool add) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        changed(list_kind::trackable_objects);
        auto* object = m_objects.find(obj_uid);
        if (!object)
            return false;
        Json::Value groups(Json::arrayValue);
        bool present = false;
        for (const auto& g : (*object)["groups"]) {
            if (g.isString() && g.asString() == group) {
                present = true;
                if (!add)
                    continue;
            }
            groups.append(g);
        }
        if (add && !present)
            groups.append(group);
        (*object)["groups"] = groups;
        return true;
    }

    std::optional<std::string> project_of_object(const std::string& uid) const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto* object = m_objects.find(uid);
        if (!object || !(*object)["project_uid"].isString())
            return std::nullopt;
        return (*object)["project_uid"].asString();
    }

    Json::Value set_alarm(const Json::Value& request) override {
        const auto& info = request["additional_info"];
        const auto key = alarm_key(request["obj_uid"].asString(), info["zone_uid"].asString());
        Json::Value record(Json::objectValue);
        record["mac_address"] = request["mac_address"];
        record["alarm_name"] = request["alarm_name"];
        Json::Value additional(Json::objectValue);
        for (const char* name : {"text", "zone_alarm_level", "zone_violation_type", "zone_uid"})
            additional[name] = info[name];
        record["additional_info"] = additional;
        const auto ms = request["ts"].asInt64() * 1000 + request["ms"].asInt64();
        record["ts"] = iso_time(timestamp(std::chrono::milliseconds(ms)));
        record["sublocation_uid"] = request["sublocation_uid"];
        for (const char* name : {"x", "y", "z"})
            if (request.isMember(name))
                record[name] = request[name];
        record["obj_uid"] = request["obj_uid"];

        std::lock_guard<std::mutex> lock(m_mutex);
        changed(list_kind::alarms);
        const auto* open = m_alarms.find(key);
        record["uid"] = open && (*open)["uid"].isString()
                            ? (*open)["uid"].asString()
                            : "alarm-" + std::to_string(++m_last_alarm_id);
        return m_alarms.put(key, record);
    }

    bool clear_alarm(const Json::Value& request) override {
        const auto key = alarm_key(request["obj_uid"].asString(),
                                   request["additional_info"]["zone_uid"].asString());
        std::lock_guard<std::mutex> lock(m_mutex);
        changed(list_kind::alarms);
        return m_alarms.erase(key);
    }

    Json::Value open_alarms() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_alarms.to_array();
    }

private:
    static std::string uid_of(const Json::Value& fields) {
        if (!fields.isObject() || !fields["uid"].isString())
            throw request_error(400, "\"uid\" is not a string");
        return fields["uid"].asString();
    }

    // The served text of a list is kept until the list changes.
    void changed(list_kind kind) { m_list_text[static_cast<std::size_t>(kind)].reset(); }

    const keyed_list* keyed(list_kind kind) const {
        switch (kind) {
            case list_kind::zones:
                return &m_zones;
            case list_kind::trackable_objects:
                return &m_objects;
            case list_kind::alarms:
                return &m_alarms;
            default:
                return nullptr;
        }
    }

    Json::Value list_of(list_kind kind) const {
        switch (kind) {
            case list_kind::zones:
                return m_zones.to_array();
            case list_kind::trackable_objects:
                return m_objects.to_array();
            case list_kind::win_anchors:
                return m_win_anchors;
            case list_kind::sublocations:
                return m_sublocations;
            case list_kind::alarms:
                return m_alarms.to_array();
            case list_kind::nodes:
                return m_nodes;
        }
        return Json::Value(Json::arrayValue);
    }

    std::string default_project() const {
        for (const auto* list : {&m_zones, &m_objects})
            for (const auto& uid : list->keys()) {
                const auto& project = (*list->find(uid))["project_uid"];
                if (project.isString())
                    return project.asString();
            }
        return "project-1";
    }

    Json::Value default_sublocation() const {
        for (const auto& sublocation : m_sublocations)
            if (sublocation["uid"].isString())
                return sublocation["uid"];
        return Json::Value();
    }

    Json::Value default_zone(const std::string& uid) const {
        Json::Value zone(Json::objectValue);
        zone["uid"] = uid;
        zone["project_uid"] = default_project();
        zone["name"] = uid;
        zone["sublocation_uid"] = default_sublocation();
        zone["active"] = true;
        zone["shape"] = "polygon";
        zone["zone_type_name"] = "keep_out";
        zone["zone_alarm_level"] = 1;
        zone["default_allowed"] = false;
        zone["priority"] = 0;
        zone["trackable_object_uid"] = Json::Value();
        zone["zone_exceptions"] = Json::Value(Json::arrayValue);
        zone["zone_exceptions_groups"] = Json::Value(Json::arrayValue);
        Json::Value positions(Json::arrayValue);
        for (auto [x, y] : {std::pair{0, 0}, {0, 1000}, {1000, 1000}, {1000, 0}}) {
            Json::Value point(Json::objectValue);
            point["x"] = x;
            point["y"] = y;
            positions.append(point);
        }
        zone["zone_geometry"]["positions"] = positions;
        zone["trackables_in_zone"] = Json::Value(Json::arrayValue);
        return zone;
    }

    Json::Value default_object(const std::string& uid) const {
        Json::Value object(Json::objectValue);
        object["uid"] = uid;
        object["name"] = uid;
        object["node"]["responsive"] = true;
        object["project_uid"] = default_project();
        object["position"]["x"] = 0;
        object["position"]["y"] = 0;
        object["position"]["z"] = 0;
        object["position"]["sl_id"] = default_sublocation();
        object["self_zone_uid"] = Json::Value();
        object["groups"] = Json::Value(Json::arrayValue);
        object["default_height"] = 0;
        object["type"] = "person";
        object["category"] = "worker";
        object["tag_config"]["stationary"] = false;
        return object;
    }

    static void drop_trackable(Json::Value& zone, const std::string& obj_uid) {
        auto& inside = zone["trackables_in_zone"];
        if (!inside.isArray())
            return;
        for (Json::ArrayIndex i = 0; i < inside.size(); ++i) {
            const Json::Value& entry = inside[i];
            const auto& uid = entry["uid"];
            if (uid.isString() && uid.asString() == obj_uid) {
                Json::Value removed;
                inside.removeIndex(i, &removed);
                return;
            }
        }
    }

    Json::Value move(const std::string& obj_uid, const std::string& zone_uid, const entry_point& at,
                     timestamp now, bool entering) {
        std::lock_guard<std::mutex> lock(m_mutex);
        changed(list_kind::zones);
        changed(list_kind::trackable_objects);
        auto* zone = m_zones.find(zone_uid);
        if (!zone)
            throw request_error(404, "unknown zone \"" + zone_uid + "\"");
        auto* object = m_objects.find(obj_uid);
        if (!object)
            throw request_error(404, "unknown trackable object \"" + obj_uid + "\"");

        auto& position = (*object)["position"];
        const int x = coordinate(position["x"], at.x);
        const int y = coordinate(position["y"], at.y);
        const int z = coordinate(position["z"], at.z);
        std::string sublocation;
        if ((*zone)["sublocation_uid"].isString())
            sublocation = (*zone)["sublocation_uid"].asString();
        else if (position["sl_id"].isString())
            sublocation = position["sl_id"].asString();
        position["x"] = x;
        position["y"] = y;
        position["z"] = z;
        if (!sublocation.empty())
            position["sl_id"] = sublocation;

        drop_trackable(*zone, obj_uid);
        if (!(*zone)["trackables_in_zone"].isArray())
            (*zone)["trackables_in_zone"] = Json::Value(Json::arrayValue);
        if (entering) {
            Json::Value entry(Json::objectValue);
            entry["uid"] = obj_uid;
            entry["entered"]["x"] = x;
            entry["entered"]["y"] = y;
            entry["entered"]["z"] = z;
            entry["entered"]["time"] = iso_time(now);
            (*zone)["trackables_in_zone"].append(entry);
        }

        Json::Value message(Json::objectValue);
        message["ts"] = static_cast<Json::Int64>(now.get_ts());
        message["ms"] = now.get_ms();
        message["obj_uid"] = obj_uid;
        message["sublocation_uid"] = sublocation;
        message["project_uid"] =
            (*zone)["project_uid"].isString() ? (*zone)["project_uid"] : (*object)["project_uid"];
        message["zone_uid"] = zone_uid;
        message["zone_type_name"] = (*zone)["zone_type_name"].isString()
                                        ? (*zone)["zone_type_name"].asString()
                                        : std::string();
        message["action"] = entering ? "enter" : "leave";
        message["x"] = x;
        message["y"] = y;
        message["z"] = z;
        return message;
    }

    mutable std::mutex m_mutex;
    keyed_list m_zones;
    keyed_list m_objects;
    keyed_list m_alarms;
    Json::Value m_win_anchors;
    Json::Value m_sublocations;
    Json::Value m_nodes;
    Json::Value m_alarm_types;
    std::uint64_t m_last_alarm_id = 0;
    mutable std::array<std::optional<std::string>, lists.size()> m_list_text;
};

}  // namespace

site::ptr site::create(const Json::Value& document) {
    return std::make_unique<site_impl>(document);
}

}  // namespace zentu::platform_sim
