#pragma once

#include <json/value.h>

#include <string>

#include "context_utils/parsers/trackable_object_groups.hpp"

namespace zentu::libs::context_utils::parsers {

// Holds references only; the message must outlive the view.
class trackable_object_groups_impl : public trackable_object_groups {
public:
    class group_impl : public group {
    public:
        group_impl(std::string uid, const Json::Value& json)
            : m_uid(std::move(uid)), m_json_value(json) {}
        const std::string& get_uid() const override { return m_uid; }
        std::string get_trackable_object_uid() const override;

    private:
        std::string m_uid;
        const Json::Value& m_json_value;
    };

    trackable_object_groups_impl(const Json::Value& json, const Json::Value& notify)
        : m_json_value(json), m_json_notify(notify) {}

    timestamp get_ts() const override;
    std::string get_project_uid() const override;
    bool for_each_added_group(const group_callback& callback) const override;
    bool for_each_removed_group(const group_callback& callback) const override;

private:
    bool for_each_group(const char* action, const group_callback& callback) const;

    const Json::Value& m_json_value;
    const Json::Value& m_json_notify;
};

}  // namespace zentu::libs::context_utils::parsers
