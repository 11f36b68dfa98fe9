#pragma once

#include <optional>
#include <set>
#include <string>

#include "core/timestamp.hpp"

namespace zentu::context {

// A tracked thing (a tag carrier) with its project, sublocation and groups.
// Plain value; not thread safe.
class trackable_object {
public:
    using timestamp = libs::core::timestamp;
    using uids = std::set<std::string>;

    // An object with its uid alone; the record's fields are set afterwards
    // (the field table in record_fields.hpp does so for the platform's records).
    explicit trackable_object(std::string uid) : m_uid(std::move(uid)) {}

    const std::string& get_uid() const noexcept { return m_uid; }

    bool get_responsive() const noexcept { return m_responsive; }
    void set_responsive(bool responsive) noexcept { m_responsive = responsive; }

    const std::optional<std::string>& get_mac_address() const noexcept { return m_mac_address; }
    void set_mac_address(std::optional<std::string> mac) { m_mac_address = std::move(mac); }

    const std::string& get_project_uid() const noexcept { return m_project_uid; }
    void set_project_uid(std::string uid) { m_project_uid = std::move(uid); }

    const std::optional<std::string>& get_sublocation_uid() const noexcept {
        return m_sublocation_uid;
    }
    void set_sublocation_uid(std::optional<std::string> uid) { m_sublocation_uid = std::move(uid); }

    timestamp get_ts() const noexcept { return m_ts; }
    void set_ts(timestamp ts) noexcept { m_ts = ts; }

    const std::optional<std::string>& get_self_zone_uid() const noexcept { return m_self_zone_uid; }
    void set_self_zone_uid(std::optional<std::string> uid) { m_self_zone_uid = std::move(uid); }

    const uids& get_groups() const noexcept { return m_groups; }
    // Group membership is changed in place through a write handle.
    uids& get_groups() noexcept { return m_groups; }
    void set_groups(uids groups) { m_groups = std::move(groups); }

private:
    std::string m_uid;
    bool m_responsive = false;
    std::optional<std::string> m_mac_address;
    std::string m_project_uid;
    std::optional<std::string> m_sublocation_uid;
    timestamp m_ts;
    std::optional<std::string> m_self_zone_uid;
    uids m_groups;
};

}  // namespace zentu::context
