#pragma once

#include <json/forwards.h>

#include <functional>
#include <memory>
#include <string>

#include "context_utils/types.hpp"

namespace zentu::libs::context_utils::parsers {

// Read-on-demand view of a trackable object groups notification: the plist
// maps group uids to {"action", "trackableObject"}.
class trackable_object_groups {
public:
    class group {
    public:
        virtual ~group() = default;
        virtual const std::string& get_uid() const = 0;
        virtual std::string get_trackable_object_uid() const = 0;
    };

    using group_callback = std::function<bool(const group&)>;

    using ptr = std::unique_ptr<trackable_object_groups>;

    // A view of the "plist" record of a notification, the whole message as its
    // envelope. It holds references only, so the JSON must outlive it (a
    // temporary is refused); construction reads nothing.
    static ptr make_view(const Json::Value& record, const Json::Value& notify);
    static ptr make_view(Json::Value&&, const Json::Value&) = delete;
    static ptr make_view(const Json::Value&, Json::Value&&) = delete;

    virtual ~trackable_object_groups() = default;

    virtual timestamp get_ts() const = 0;
    virtual std::string get_project_uid() const = 0;
    // Walk in member-name order; stop at the first false and return false.
    virtual bool for_each_added_group(const group_callback& callback) const = 0;
    virtual bool for_each_removed_group(const group_callback& callback) const = 0;
};

}  // namespace zentu::libs::context_utils::parsers
