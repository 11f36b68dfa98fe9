#pragma once

#include <functional>
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

    virtual ~trackable_object_groups() = default;

    virtual timestamp get_ts() const = 0;
    virtual std::string get_project_uid() const = 0;
    // Walk in member-name order; stop at the first false and return false.
    virtual bool for_each_added_group(const group_callback& callback) const = 0;
    virtual bool for_each_removed_group(const group_callback& callback) const = 0;
};

}  // namespace zentu::libs::context_utils::parsers
