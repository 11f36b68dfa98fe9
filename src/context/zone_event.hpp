#pragma once

#include <cstdint>
#include <string>

#include "context/zone_type.hpp"
#include "core/timestamp.hpp"

namespace zentu::context {

// The last known movement ("enter" or "leave") of one object across one zone.
// Plain value; not thread safe.
class zone_event {
public:
    using timestamp = libs::core::timestamp;

    // An event with its uid (context::pair_uid) alone; the record's fields are
    // set afterwards (the field table in record_fields.hpp does so for the
    // stream's messages).
    explicit zone_event(std::string uid) : m_uid(std::move(uid)) {}

    const std::string& get_uid() const noexcept { return m_uid; }

    timestamp get_ts() const noexcept { return m_ts; }
    void set_ts(timestamp ts) noexcept { m_ts = ts; }

    const std::string& get_obj_uid() const noexcept { return m_obj_uid; }
    void set_obj_uid(std::string uid) { m_obj_uid = std::move(uid); }

    const std::string& get_sublocation_uid() const noexcept { return m_sublocation_uid; }
    void set_sublocation_uid(std::string uid) { m_sublocation_uid = std::move(uid); }

    const std::string& get_project_uid() const noexcept { return m_project_uid; }
    void set_project_uid(std::string uid) { m_project_uid = std::move(uid); }

    const std::string& get_zone_uid() const noexcept { return m_zone_uid; }
    void set_zone_uid(std::string uid) { m_zone_uid = std::move(uid); }

    zone_type get_zone_type() const noexcept { return m_zone_type; }
    void set_zone_type(zone_type type) noexcept { m_zone_type = type; }

    const std::string& get_action() const noexcept { return m_action; }
    void set_action(std::string action) { m_action = std::move(action); }

    std::int32_t get_x() const noexcept { return m_x; }
    void set_x(std::int32_t x) noexcept { m_x = x; }
    std::int32_t get_y() const noexcept { return m_y; }
    void set_y(std::int32_t y) noexcept { m_y = y; }
    std::int32_t get_z() const noexcept { return m_z; }
    void set_z(std::int32_t z) noexcept { m_z = z; }

private:
    std::string m_uid;
    timestamp m_ts;
    std::string m_obj_uid;
    std::string m_sublocation_uid;
    std::string m_project_uid;
    std::string m_zone_uid;
    zone_type m_zone_type = zone_type::UNKNOWN;
    std::string m_action;
    std::int32_t m_x = 0;
    std::int32_t m_y = 0;
    std::int32_t m_z = 0;
};

}  // namespace zentu::context
