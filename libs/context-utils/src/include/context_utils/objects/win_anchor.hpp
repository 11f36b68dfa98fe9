#pragma once

#include <boost/optional.hpp>
#include <memory>
#include <string>

#include "context_utils/json_template.hpp"
#include "context_utils/types.hpp"

namespace zentu::libs::context_utils::objects {

// An owning anchor model with fields converted on first access. Used on the
// events-loop thread only; const getters fill the cache.
class win_anchor {
public:
    using ptr = std::unique_ptr<win_anchor>;

    // A model owning a copy of its JSON: one element of a REST list (the time
    // comes from "updated_at"), or a whole notification (the record is its
    // "plist", the time its "ts" and "ms"). Construction converts nothing.
    static ptr create(const json_object& element);
    static ptr create(const json_notify& notify);

    class node {
    public:
        virtual ~node() = default;
        virtual bool get_responsive() const = 0;
        virtual const std::string& get_mac_address() const = 0;
        virtual unsigned get_node_id() const = 0;
    };

    class position {
    public:
        virtual ~position() = default;
        virtual int get_x() const = 0;
        virtual int get_y() const = 0;
        virtual int get_z() const = 0;
    };

    virtual ~win_anchor() = default;

    virtual const std::string& get_uid() const = 0;
    virtual const std::string& get_name() const = 0;
    virtual boost::optional<const node&> get_node() const = 0;
    virtual const std::string& get_sublocation_uid() const = 0;
    virtual const std::string& get_project_uid() const = 0;
    virtual const std::string& get_company_uid() const = 0;
    virtual boost::optional<const position&> get_position() const = 0;
    virtual timestamp get_updated_at() const = 0;
};

}  // namespace zentu::libs::context_utils::objects
