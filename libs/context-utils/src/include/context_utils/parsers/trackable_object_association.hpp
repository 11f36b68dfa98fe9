#pragma once

#include <json/forwards.h>

#include <memory>
#include <optional>
#include <string>

#include "context_utils/types.hpp"

namespace zentu::libs::context_utils::parsers {

// Read-on-demand view of the "plist" of a trackable object association
// notification, with the notification as its envelope. Every field is required.
class trackable_object_association {
public:
    using ptr = std::unique_ptr<trackable_object_association>;

    // A view of the "plist" record of a notification, the whole message as its
    // envelope. It holds references only, so the JSON must outlive it (a
    // temporary is refused); construction reads nothing.
    static ptr make_view(const Json::Value& record, const Json::Value& notify);
    static ptr make_view(Json::Value&&, const Json::Value&) = delete;
    static ptr make_view(const Json::Value&, Json::Value&&) = delete;

    virtual ~trackable_object_association() = default;

    virtual timestamp get_ts() const = 0;
    virtual std::string get_project_uid() const = 0;
    virtual std::string get_mac_address() const = 0;
    virtual std::string get_trackable_object_uid() const = 0;
    virtual timestamp get_created_at() const = 0;
    // Empty while the association stands ("9999-12-31T23:59:59.000Z").
    virtual std::optional<timestamp> get_removed_at() const = 0;
};

}  // namespace zentu::libs::context_utils::parsers
