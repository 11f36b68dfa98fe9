#pragma once

#include <json/value.h>

#include "context_utils/parsers/trackable_object_association.hpp"

namespace zentu::libs::context_utils::parsers {

// Holds references only; the message must outlive the view.
class trackable_object_association_impl : public trackable_object_association {
public:
    trackable_object_association_impl(const Json::Value& json, const Json::Value& notify)
        : m_json_value(json), m_json_notify(notify) {}

    timestamp get_ts() const override;
    std::string get_project_uid() const override;
    std::string get_mac_address() const override;
    std::string get_trackable_object_uid() const override;
    timestamp get_created_at() const override;
    std::optional<timestamp> get_removed_at() const override;

private:
    const Json::Value& m_json_value;
    const Json::Value& m_json_notify;
};

}  // namespace zentu::libs::context_utils::parsers
