#pragma once

#include <json/value.h>

#include <memory>
#include <string>

#include "platform-sim/publisher.hpp"
#include "platform-sim/site.hpp"

namespace zentu::platform_sim {

// Changes of the platform's state that are announced on the message stream:
// each updates the site, then publishes. Thread safe (site and publisher are).
// Malformed commands throw request_error (400), unknown uids request_error (404).
class commands {
public:
    using ptr = std::unique_ptr<commands>;
    static ptr create(site& site, publisher& publisher);
    virtual ~commands() = default;

    // {obj_uid, zone_uid, x?, y?, z?} -> {"message": zone_event}
    virtual Json::Value enter(const Json::Value& body, bool quiet = false) = 0;
    virtual Json::Value leave(const Json::Value& body, bool quiet = false) = 0;
    // A zone or object record (uid required) -> {"action", "message"}
    virtual Json::Value upsert_zone(const Json::Value& body) = 0;
    virtual Json::Value delete_zone(const Json::Value& body) = 0;
    virtual Json::Value upsert_object(const Json::Value& body) = 0;
    virtual Json::Value delete_object(const Json::Value& body) = 0;
    // {project_uid?, add: [{group, obj}], remove: [...]} -> {"messages": [...]}
    virtual Json::Value groups(const Json::Value& body) = 0;
    // {topic, message} or {raw} -> published as given
    virtual Json::Value publish(const Json::Value& body) = 0;
};

}  // namespace zentu::platform_sim
