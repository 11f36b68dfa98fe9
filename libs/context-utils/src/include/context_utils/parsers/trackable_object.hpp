#pragma once

#include <json/forwards.h>

#include <boost/optional.hpp>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "context_utils/types.hpp"

namespace zentu::libs::context_utils::parsers {

// Read-on-demand view of a trackable object record. Valid only while the JSON
// it was built on lives; used on the thread that received it.
class trackable_object {
public:
    // "tag_config"
    class tag_config {
    public:
        // "tag_config" / "t2t_cfg"; every field is optional.
        class t2t_cfg {
        public:
            virtual ~t2t_cfg() = default;
            virtual std::optional<std::string> get_role() const = 0;
            virtual std::optional<bool> get_alarm_back() const = 0;
            virtual std::optional<unsigned> get_distance() const = 0;
            virtual std::optional<unsigned> get_angle() const = 0;
            virtual std::optional<unsigned> get_delay() const = 0;
            virtual std::optional<std::string> get_pin() const = 0;
            virtual std::optional<unsigned> get_alert_distance() const = 0;
            virtual std::optional<unsigned> get_safe_distance() const = 0;
            virtual std::optional<bool> get_buzzer() const = 0;
            virtual std::optional<bool> get_haptic() const = 0;
        };

        virtual ~tag_config() = default;
        virtual bool get_stationary() const = 0;
        virtual std::optional<text_range> get_t2t_no_alarm() const = 0;
        // Present only when "t2t_cfg" is a JSON object.
        virtual boost::optional<const t2t_cfg&> get_t2t_cfg() const = 0;
    };

    using ptr = std::unique_ptr<trackable_object>;

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

    virtual ~trackable_object() = default;

    virtual std::string get_uid() const = 0;
    virtual std::string get_name() const = 0;
    virtual std::optional<bool> get_responsive() const = 0;
    virtual std::optional<std::string> get_mac_address() const = 0;
    virtual std::string get_project_uid() const = 0;
    virtual std::optional<std::string> get_sublocation_uid() const = 0;
    virtual std::optional<int> get_x() const = 0;
    virtual std::optional<int> get_y() const = 0;
    virtual std::optional<int> get_z() const = 0;
    virtual std::uint32_t get_ts() const = 0;
    virtual std::uint32_t get_ms() const = 0;
    virtual std::optional<std::string> get_self_zone_uid() const = 0;
    // Absent when "groups" is not an array.
    virtual std::optional<text_range> get_groups() const = 0;
    virtual int get_default_height() const = 0;
    virtual std::string get_type() const = 0;
    virtual std::string get_category() const = 0;
    virtual const tag_config& get_tag_config() const = 0;
};

}  // namespace zentu::libs::context_utils::parsers
