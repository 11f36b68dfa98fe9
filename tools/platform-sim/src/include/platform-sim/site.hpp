#pragma once

#include <json/value.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/timestamp.hpp"
#include "platform-sim/catalogue.hpp"

namespace zentu::platform_sim {

// Where an object entered a zone; null coordinates keep the object's last position.
struct entry_point {
    std::optional<int> x, y, z;
};

struct upsert_result {
    bool created = false;
    Json::Value record;
};

// The platform's data: object lists, alarm types and the open alarms.
// Thread safe: every operation takes the model's lock; results are copies.
class site {
public:
    using ptr = std::unique_ptr<site>;

    // Throws request_error (400) when the document is not a site.
    static ptr create(const Json::Value& document);
    virtual ~site() = default;

    // {"<list name>": [records...]} as the REST API answers.
    virtual Json::Value list_document(list_kind kind) const = 0;
    // The same as compact JSON text, kept between changes (large sites are served often at start).
    virtual std::string list_text(list_kind kind) const = 0;
    virtual Json::Value alarm_types() const = 0;
    // The whole site in the layout of a site file.
    virtual Json::Value snapshot() const = 0;

    virtual std::optional<Json::Value> find_zone(const std::string& uid) const = 0;
    virtual std::optional<Json::Value> find_object(const std::string& uid) const = 0;
    virtual std::vector<std::string> zone_uids() const = 0;
    virtual std::vector<std::string> object_uids() const = 0;

    // Merges the given members into the stored record, or creates it with defaults.
    virtual upsert_result upsert_zone(const Json::Value& fields, libs::core::timestamp now) = 0;
    virtual upsert_result upsert_object(const Json::Value& fields, libs::core::timestamp now) = 0;
    // The removed record; request_error 404 when unknown.
    virtual Json::Value remove_zone(const std::string& uid) = 0;
    virtual Json::Value remove_object(const std::string& uid) = 0;

    // Updates the zone's "trackables_in_zone" and the object's position; returns
    // the "zone_event" message. request_error 404 for an unknown zone or object.
    virtual Json::Value enter(const std::string& obj_uid, const std::string& zone_uid,
                              const entry_point& at, libs::core::timestamp now) = 0;
    virtual Json::Value leave(const std::string& obj_uid, const std::string& zone_uid,
                              const entry_point& at, libs::core::timestamp now) = 0;

    // Adds or removes a group uid in the object's "groups"; false for an unknown object.
    virtual bool change_group(const std::string& obj_uid, const std::string& group, bool add) = 0;
    virtual std::optional<std::string> project_of_object(const std::string& uid) const = 0;

    // Alarms: "set" opens or refreshes the alarm of obj_uid:zone_uid; "clear"
    // closes it and is false when none was open. The request must be valid.
    virtual Json::Value set_alarm(const Json::Value& request) = 0;
    virtual bool clear_alarm(const Json::Value& request) = 0;
    virtual Json::Value open_alarms() const = 0;
};

}  // namespace zentu::platform_sim
