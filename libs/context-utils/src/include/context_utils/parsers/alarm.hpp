#pragma once

#include <json/forwards.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zentu::libs::context_utils::parsers {

// Read-on-demand view of an alarm record (an element of the alarms list).
// Valid only while the JSON it was built on lives.
class alarm {
public:
    using ptr = std::unique_ptr<alarm>;

    // Views over JSON the caller keeps: a view holds references only, so the
    // JSON must outlive it (a temporary is refused). Construction reads
    // nothing; a malformed record fails in the getters.
    // One element of a REST list; the time comes from "updated_at".
    static ptr make_view(const Json::Value& element);
    // The "plist" record of a notification; the time comes from the whole
    // message's "ts" and "ms".
    static ptr make_view(const Json::Value& record, const Json::Value& notify);
    static ptr make_view(Json::Value&&) = delete;
    static ptr make_view(Json::Value&&, const Json::Value&) = delete;
    static ptr make_view(const Json::Value&, Json::Value&&) = delete;

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
