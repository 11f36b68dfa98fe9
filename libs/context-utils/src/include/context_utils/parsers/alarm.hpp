#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zentu::libs::context_utils::parsers {

// Read-on-demand view of an alarm record (an element of the alarms list).
// Valid only while the JSON it was built on lives.
class alarm {
public:
    virtual ~alarm() = default;

    virtual std::string get_uid() const = 0;
    virtual std::string get_mac_address() const = 0;
    virtual std::string get_alarm_name() const = 0;
    virtual std::string get_text() const = 0;
    virtual std::optional<unsigned> get_zone_alarm_level() const = 0;
    virtual std::optional<std::string> get_zone_violation_type() const = 0;
    virtual std::optional<std::string> get_zone_uid() const = 0;
    virtual std::uint32_t get_ts() const = 0;
    virtual std::uint32_t get_ms() const = 0;
    virtual std::optional<std::string> get_sublocation_uid() const = 0;
    // A real number reads as absent.
    virtual std::optional<int> get_x() const = 0;
    virtual std::optional<int> get_y() const = 0;
    virtual std::optional<int> get_z() const = 0;
    virtual std::string get_obj_uid() const = 0;
};

}  // namespace zentu::libs::context_utils::parsers
