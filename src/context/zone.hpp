#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "context/zone_type.hpp"
#include "core/timestamp.hpp"

namespace zentu::context {

// An area of the platform with its kind and the rules saying which objects it
// concerns. Plain value; not thread safe.
class zone {
public:
    using timestamp = libs::core::timestamp;
    using uids = std::set<std::string>;

    // A zone with its uid alone; the record's fields are set afterwards (the
    // field table in record_fields.hpp does so for the platform's records).
    explicit zone(std::string uid) : m_uid(std::move(uid)) {}

    const std::string& get_uid() const noexcept { return m_uid; }

    const std::string& get_name() const noexcept { return m_name; }
    void set_name(std::string name) { m_name = std::move(name); }

    const std::string& get_project_uid() const noexcept { return m_project_uid; }
    void set_project_uid(std::string uid) { m_project_uid = std::move(uid); }

    const std::optional<std::string>& get_sublocation_uid() const noexcept {
        return m_sublocation_uid;
    }
    void set_sublocation_uid(std::optional<std::string> uid) { m_sublocation_uid = std::move(uid); }

    bool get_active() const noexcept { return m_active; }
    void set_active(bool active) noexcept { m_active = active; }

    zone_shape get_shape() const noexcept { return m_shape; }
    void set_shape(zone_shape shape) noexcept { m_shape = shape; }

    zone_type get_type() const noexcept { return m_type; }
    void set_type(zone_type type) noexcept { m_type = type; }

    std::uint32_t get_alarm_level() const noexcept { return m_alarm_level; }
    void set_alarm_level(std::uint32_t level) noexcept { m_alarm_level = level; }

    bool get_default_allowed() const noexcept { return m_default_allowed; }
    void set_default_allowed(bool allowed) noexcept { m_default_allowed = allowed; }

    timestamp get_ts() const noexcept { return m_ts; }
    void set_ts(timestamp ts) noexcept { m_ts = ts; }

    const std::optional<std::string>& get_trackable_object_uid() const noexcept {
        return m_trackable_object_uid;
    }
    void set_trackable_object_uid(std::optional<std::string> uid) {
        m_trackable_object_uid = std::move(uid);
    }

    const uids& get_exceptions() const noexcept { return m_exceptions; }
    void set_exceptions(uids exceptions) { m_exceptions = std::move(exceptions); }

    const uids& get_exceptions_groups() const noexcept { return m_exceptions_groups; }
    void set_exceptions_groups(uids groups) { m_exceptions_groups = std::move(groups); }

private:
    std::string m_uid;
    std::string m_name;
    std::string m_project_uid;
    std::optional<std::string> m_sublocation_uid;
    bool m_active = false;
    zone_shape m_shape = zone_shape::POLYGON;
    zone_type m_type = zone_type::UNKNOWN;
    std::uint32_t m_alarm_level = 0;
    bool m_default_allowed = false;
    timestamp m_ts;
    std::optional<std::string> m_trackable_object_uid;
    uids m_exceptions;
    uids m_exceptions_groups;
};

}  // namespace zentu::context
