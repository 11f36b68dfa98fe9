#pragma once

#include <json/forwards.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "context_utils/types.hpp"

namespace zentu::libs::context_utils::parsers {

// Read-on-demand view of a zone record: every getter reads its field when
// called. Valid only while the JSON it was built on lives; used on the thread
// that received it.
class zone {
public:
    // One element of "zone_geometry" / "positions".
    class point {
    public:
        virtual ~point() = default;
        virtual int get_x() const = 0;
        virtual int get_y() const = 0;
    };

    // One element of "trackables_in_zone".
    class trackable_in_zone {
    public:
        virtual ~trackable_in_zone() = default;
        virtual std::string get_uid() const = 0;
        virtual int get_x() const = 0;
        virtual int get_y() const = 0;
        virtual int get_z() const = 0;
        virtual timestamp get_time() const = 0;
    };

    using zone_exceptions = text_range;
    using zone_exceptions_groups = text_range;
    using point_callback = std::function<bool(const point&)>;
    using trackable_in_zone_callback = std::function<bool(const trackable_in_zone&)>;

    using ptr = std::unique_ptr<zone>;

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

    virtual ~zone() = default;

    virtual std::string get_uid() const = 0;
    virtual std::string get_project_uid() const = 0;
    virtual std::string get_name() const = 0;
    virtual std::optional<std::string> get_sublocation_uid() const = 0;
    virtual bool get_active() const = 0;
    virtual std::string get_shape() const = 0;
    virtual std::string get_zone_type_name() const = 0;
    virtual unsigned get_zone_alarm_level() const = 0;
    virtual bool get_default_allowed() const = 0;
    virtual int get_priority() const = 0;
    virtual std::uint32_t get_ts() const = 0;
    virtual std::uint32_t get_ms() const = 0;
    virtual std::optional<std::string> get_trackable_object_uid() const = 0;
    virtual std::optional<int> get_radius() const = 0;
    // Stops at the first false and returns false; true otherwise.
    virtual bool for_each_point(const point_callback& callback) const = 0;
    virtual zone_exceptions get_zone_exceptions() const = 0;
    virtual zone_exceptions_groups get_zone_exceptions_groups() const = 0;
    virtual bool for_each_trackable_in_zone(const trackable_in_zone_callback& callback) const = 0;
    // Whether the record lists the objects inside the zone (possibly none).
    virtual bool has_trackables_in_zone() const = 0;
};

}  // namespace zentu::libs::context_utils::parsers
