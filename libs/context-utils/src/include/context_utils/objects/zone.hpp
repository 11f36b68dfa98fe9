#pragma once

#include <boost/optional.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "context_utils/json_template.hpp"
#include "context_utils/types.hpp"

namespace zentu::libs::context_utils::objects {

// An owning zone model: converts each field on first access and keeps it.
// Used on the events-loop thread only; even const getters fill the cache.
class zone {
public:
    using ptr = std::unique_ptr<zone>;

    // A model owning a copy of its JSON: one element of a REST list (the time
    // comes from "updated_at"), or a whole notification (the record is its
    // "plist", the time its "ts" and "ms"). Construction converts nothing.
    static ptr create(const json_object& element);
    static ptr create(const json_notify& notify);

    class point {
    public:
        virtual ~point() = default;
        virtual int get_x() const = 0;
        virtual int get_y() const = 0;
    };

    class zone_geometry {
    public:
        using point_callback = std::function<bool(const point&)>;
        virtual ~zone_geometry() = default;
        virtual const std::optional<int>& get_radius() const = 0;
        // Stops at the first false and returns false; true otherwise.
        virtual bool for_each_point(const point_callback& callback) const = 0;
    };

    class trackable_in_zone {
    public:
        virtual ~trackable_in_zone() = default;
        virtual const std::string& get_uid() const = 0;
        virtual int get_x() const = 0;
        virtual int get_y() const = 0;
        virtual int get_z() const = 0;
        virtual timestamp get_time() const = 0;
    };

    class user_params {
    public:
        virtual ~user_params() = default;
        virtual const std::optional<unsigned>& get_max_occupancy() const = 0;
    };

    using trackable_in_zone_callback = std::function<bool(const trackable_in_zone&)>;

    virtual ~zone() = default;

    virtual const std::string& get_uid() const = 0;
    virtual const std::string& get_project_uid() const = 0;
    virtual std::optional<unsigned> get_zone_id() const = 0;
    virtual const std::string& get_name() const = 0;
    virtual const std::optional<std::string>& get_sublocation_uid() const = 0;
    virtual bool get_active() const = 0;
    virtual const std::string& get_shape() const = 0;
    virtual const std::string& get_zone_type_name() const = 0;
    virtual unsigned get_zone_alarm_level() const = 0;
    virtual std::optional<unsigned> get_sublocation_id() const = 0;
    virtual unsigned get_zone_type_id() const = 0;
    virtual bool get_default_allowed() const = 0;
    virtual int get_priority() const = 0;
    virtual timestamp get_updated_at() const = 0;
    virtual const std::optional<std::string>& get_trackable_object_uid() const = 0;
    virtual const zone_geometry& get_zone_geometry() const = 0;
    virtual bool for_each_trackable_in_zone(const trackable_in_zone_callback& callback) const = 0;
    virtual const std::vector<std::string>& get_zone_exceptions() const = 0;
    virtual const std::vector<std::string>& get_zone_exceptions_groups() const = 0;
    virtual boost::optional<const user_params&> get_user_params() const = 0;
};

}  // namespace zentu::libs::context_utils::objects
