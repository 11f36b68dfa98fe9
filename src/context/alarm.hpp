#pragma once

#include <boost/optional.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "context/alarm_type.hpp"
#include "core/timestamp.hpp"

namespace zentu::context {

// One zone-violation alarm of one object in one zone. Plain value; not
// thread safe.
class alarm {
public:
    using timestamp = libs::core::timestamp;
    using coordinate = std::optional<std::int32_t>;

    // An alarm with its uid alone; the record's fields are set afterwards.
    explicit alarm(std::string uid) : m_uid(std::move(uid)) {}
    alarm(std::string uid, std::string trobject_uid, std::optional<std::string> sublocation_uid,
          std::string zone_uid, std::string mac_address, std::string alarm_name,
          std::uint32_t zone_alarm_level, alarm_type type, std::string alarm_text,
          std::string state, timestamp ts, coordinate x, coordinate y, coordinate z);

    const std::string& get_uid() const noexcept { return m_uid; }
    const std::string& get_trobject_uid() const noexcept { return m_trobject_uid; }
    boost::optional<const std::string&> get_sublocation_uid() const noexcept {
        if (!m_sublocation_uid)
            return boost::none;
        return boost::optional<const std::string&>(*m_sublocation_uid);
    }
    const std::string& get_zone_uid() const noexcept { return m_zone_uid; }
    const std::string& get_mac_address() const noexcept { return m_mac_address; }
    const std::string& get_alarm_name() const noexcept { return m_alarm_name; }
    std::uint32_t get_zone_alarm_level() const noexcept { return m_zone_alarm_level; }
    alarm_type get_alarm_type() const noexcept { return m_alarm_type; }
    const std::string& get_alarm_text() const noexcept { return m_alarm_text; }
    const std::string& get_state() const noexcept { return m_state; }
    timestamp get_timestamp() const noexcept { return m_timestamp; }
    coordinate get_x() const noexcept { return m_x; }
    coordinate get_y() const noexcept { return m_y; }
    coordinate get_z() const noexcept { return m_z; }

    void set_trobject_uid(std::string uid) { m_trobject_uid = std::move(uid); }
    void set_sublocation_uid(std::optional<std::string> uid) { m_sublocation_uid = std::move(uid); }
    void set_zone_uid(std::string uid) { m_zone_uid = std::move(uid); }
    void set_mac_address(std::string mac) { m_mac_address = std::move(mac); }
    void set_alarm_name(std::string name) { m_alarm_name = std::move(name); }
    void set_state(std::string state) { m_state = std::move(state); }
    void set_alarm_type(alarm_type type) noexcept { m_alarm_type = type; }
    void set_alarm_text(std::string text) { m_alarm_text = std::move(text); }
    void set_zone_alarm_level(std::uint32_t level) noexcept { m_zone_alarm_level = level; }
    void set_timestamp(timestamp ts) noexcept { m_timestamp = ts; }
    void set_x(coordinate x) noexcept { m_x = x; }
    void set_y(coordinate y) noexcept { m_y = y; }
    void set_z(coordinate z) noexcept { m_z = z; }

private:
    std::string m_uid;
    std::string m_trobject_uid;
    std::optional<std::string> m_sublocation_uid;
    std::string m_zone_uid;
    std::string m_mac_address;
    std::string m_alarm_name;
    std::uint32_t m_zone_alarm_level = 0;
    alarm_type m_alarm_type = alarm_type::ko;
    std::string m_alarm_text;
    std::string m_state;
    timestamp m_timestamp;
    coordinate m_x;
    coordinate m_y;
    coordinate m_z;
};

}  // namespace zentu::context
