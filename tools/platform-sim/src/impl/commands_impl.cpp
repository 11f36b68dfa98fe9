#include <set>

#include "core/timestamp.hpp"
#include "platform-sim/commands.hpp"
#include "platform-sim/messages.hpp"

namespace zentu::platform_sim {
namespace {

using libs::core::timestamp;

std::string required_string(const Json::Value& body, const char* key) {
    if (!body.isObject() || !body[key].isString())
        throw request_error(400, "\"" + std::string(key) + "\" is not a string");
    return body[key].asString();
}

std::optional<int> optional_int(const Json::Value& body, const char* key) {
    const auto& value = body[key];
    if (value.isNull())
        return std::nullopt;
    if (!value.isNumeric())
        throw request_error(400, "\"" + std::string(key) + "\" is not a number");
    return value.asInt();
}

struct group_change {
    std::string group;
    std::string obj;
};

std::vector<group_change> group_changes(const Json::Value& body, const char* key) {
    std::vector<group_change> changes;
    const auto& list = body[key];
    if (list.isNull())
        return changes;
    if (!list.isArray())
        throw request_error(400, "\"" + std::string(key) + "\" is not an array");
    for (const auto& item : list)
        changes.push_back({required_string(item, "group"), required_string(item, "obj")});
    return changes;
}

class commands_impl final : public commands {
public:
    commands_impl(site& site, publisher& publisher) : m_site(site), m_publisher(publisher) {}

    Json::Value enter(const Json::Value& body, bool quiet) override {
        return move(body, true, quiet);
    }
    Json::Value leave(const Json::Value& body, bool quiet) override {
        return move(body, false, quiet);
    }

    Json::Value upsert_zone(const Json::Value& body) override {
        const auto now = timestamp::current_time();
        auto result = m_site.upsert_zone(body, now);
        return announce("ZONE", result.created ? "created" : "updated", result.record, now);
    }

    Json::Value delete_zone(const Json::Value& body) override {
        const auto now = timestamp::current_time();
        return announce("ZONE", "deleted", m_site.remove_zone(required_string(body, "uid")), now);
    }

    Json::Value upsert_object(const Json::Value& body) override {
        const auto now = timestamp::current_time();
        auto result = m_site.upsert_object(body, now);
        return announce("TRACKABLE_OBJECT", result.created ? "created" : "updated", result.record,
                        now);
    }

    Json::Value delete_object(const Json::Value& body) override {
        const auto now = timestamp::current_time();
        return announce("TRACKABLE_OBJECT", "deleted",
                        m_site.remove_object(required_string(body, "uid")), now);
    }

    Json::Value groups(const Json::Value& body) override {
        if (!body.isObject())
            throw request_error(400, "the command is not a JSON object");
        auto adds = group_changes(body, "add");
        auto removes = group_changes(body, "remove");
        if (adds.empty() && removes.empty())
            throw request_error(400, "no group change given");
        std::string project;
        if (body["project_uid"].isString()) {
            project = body["project_uid"].asString();
        } else {
            const auto& first = adds.empty() ? removes.front() : adds.front();
            auto found = m_site.project_of_object(first.obj);
            if (!found)
                throw request_error(400, "\"project_uid\" is not a string");
            project = *found;
        }
        for (const auto& change : adds)
            m_site.change_group(change.obj, change.group, true);
        for (const auto& change : removes)
            m_site.change_group(change.obj, change.group, false);

        // The plist is keyed by group uid, so a group may appear once per message:
        // changes of one group go out in as many messages as needed.
        std::vector<Json::Value> plists;
        auto place = [&plists](const group_change& change, const char* action) {
            Json::Value member(Json::objectValue);
            member["action"] = action;
            member["trackableObject"] = change.obj;
            for (auto& plist : plists)
                if (!plist.isMember(change.group)) {
                    plist[change.group] = member;
                    return;
                }
            plists.emplace_back(Json::objectValue);
            plists.back()[change.group] = member;
        };
        for (const auto& change : adds)
            place(change, "ADD_GROUP");
        for (const auto& change : removes)
            place(change, "REMOVE_GROUP");

        Json::Value result(Json::objectValue);
        result["messages"] = Json::Value(Json::arrayValue);
        for (const auto& plist : plists) {
            auto message =
                make_notify("TRACKABLE_OBJECT_GROUPS", "updated", plist, timestamp::current_time());
            message["project_uid"] = project;
            m_publisher.publish(notify_topic, message);
            result["messages"].append(message);
        }
        return result;
    }

    Json::Value publish(const Json::Value& body) override {
        Json::Value result(Json::objectValue);
        if (body.isObject() && body["raw"].isString()) {
            m_publisher.publish_raw(body["raw"].asString());
            result["frame"] = body["raw"];
            return result;
        }
        const auto topic = required_string(body, "topic");
        m_publisher.publish(topic, body["message"]);
        result["frame"] = make_frame(topic, body["message"]);
        return result;
    }

private:
    Json::Value move(const Json::Value& body, bool entering, bool quiet) {
        const auto obj_uid = required_string(body, "obj_uid");
        const auto zone_uid = required_string(body, "zone_uid");
        entry_point at{optional_int(body, "x"), optional_int(body, "y"), optional_int(body, "z")};
        const auto now = timestamp::current_time();
        auto message = entering ? m_site.enter(obj_uid, zone_uid, at, now)
                                : m_site.leave(obj_uid, zone_uid, at, now);
        m_publisher.publish(zone_event_topic, message, quiet);
        Json::Value result(Json::objectValue);
        result["message"] = message;
        return result;
    }

    Json::Value announce(const char* object, const char* action, const Json::Value& record,
                         timestamp now) {
        auto message = make_notify(object, action, record, now);
        m_publisher.publish(notify_topic, message);
        Json::Value result(Json::objectValue);
        result["action"] = action;
        result["message"] = message;
        return result;
    }

    site& m_site;
    publisher& m_publisher;
};

}  // namespace

commands::ptr commands::create(site& site, publisher& publisher) {
    return std::make_unique<commands_impl>(site, publisher);
}

}  // namespace zentu::platform_sim
