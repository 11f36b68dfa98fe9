#include <cstring>
#include <stdexcept>

#include "fixed_text_readers.hpp"
#include "parsers/trackable_object_groups_impl.hpp"

namespace zentu::libs::context_utils::parsers {

std::string trackable_object_groups_impl::group_impl::get_trackable_object_uid() const {
    return detail::get_string(m_json_value, "trackableObject",
                              "context-utils::group_impl: trackableObject is not a string!");
}

timestamp trackable_object_groups_impl::get_ts() const {
    return detail::get_envelope_time(m_json_notify);
}

std::string trackable_object_groups_impl::get_project_uid() const {
    return detail::get_string(m_json_notify, "project_uid",
                              "context-utils: project_uid is not a string!");
}

bool trackable_object_groups_impl::for_each_added_group(const group_callback& callback) const {
    return for_each_group("ADD_GROUP", callback);
}

bool trackable_object_groups_impl::for_each_removed_group(const group_callback& callback) const {
    return for_each_group("REMOVE_GROUP", callback);
}

bool trackable_object_groups_impl::for_each_group(const char* action,
                                                  const group_callback& callback) const {
    if (!m_json_value.isObject())
        return true;
    // The JSON library keeps members ordered by name.
    for (auto it = m_json_value.begin(); it != m_json_value.end(); ++it) {
        const Json::Value& member = *it;
        if (!member.isObject())
            continue;
        const Json::Value& member_action = member["action"];
        if (!member_action.isString() || member_action.asString() != action)
            continue;
        if (!callback(group_impl(it.name(), member)))
            return false;
    }
    return true;
}

trackable_object_groups::ptr trackable_object_groups::make_view(const Json::Value& record,
                                                                const Json::Value& notify) {
    return std::make_unique<trackable_object_groups_impl>(record, notify);
}

}  // namespace zentu::libs::context_utils::parsers
