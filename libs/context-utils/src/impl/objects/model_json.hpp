#pragma once

#include <json/value.h>

#include <optional>

#include "context_utils/json_template.hpp"
#include "objects/lazy_value.hpp"

namespace zentu::libs::context_utils::objects {

// The JSON copy a model owns, and the model's time. Nested models refer into
// m_json_value, so a model is neither copied nor moved.
class model_json {
public:
    model_json(const model_json&) = delete;
    model_json& operator=(const model_json&) = delete;

protected:
    // One element of a REST list; the time comes from "updated_at".
    explicit model_json(const json_template<_json_object_tag>& object)
        : m_json_value(object.get_json()) {}
    // A whole notification; the record is its "plist", the time its "ts"/"ms".
    explicit model_json(const json_template<_json_notify_tag>& notify)
        : m_json_value(member_of(notify.get_json(), "plist")), m_json_notify(notify.get_json()) {}
    ~model_json() = default;

    timestamp updated_at() const {
        if (m_json_notify) {
            const std::int64_t ts = m_ts.get(*m_json_notify, "ts");
            const std::int64_t ms = m_ms.get(*m_json_notify, "ms");
            try {
                return timestamp::from_parts(ts, ms);
            } catch (const core::invalid_time& e) {
                ZENTU_THROW("envelope time is invalid: " + e.reason());
            }
        }
        return m_updated_at.get(m_json_value, "updated_at");
    }

    const Json::Value m_json_value;
    const std::optional<Json::Value> m_json_notify;

private:
    lazy_value<uint_value> m_ts;
    lazy_value<uint_value> m_ms;
    lazy_value<timestamp_value> m_updated_at;
};

}  // namespace zentu::libs::context_utils::objects
