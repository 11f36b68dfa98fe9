#pragma once

#include <boost/optional.hpp>
#include <memory>
#include <string>

#include "context_utils/json_template.hpp"
#include "context_utils/types.hpp"

namespace zentu::libs::context_utils::objects {

// An owning node model with fields converted on first access. Used on the
// events-loop thread only; const getters fill the cache.
class node {
public:
    using ptr = std::unique_ptr<node>;

    // A model owning a copy of its JSON: one element of a REST list (the time
    // comes from "updated_at"), or a whole notification (the record is its
    // "plist", the time its "ts" and "ms"). Construction converts nothing.
    static ptr create(const json_object& element);
    static ptr create(const json_notify& notify);

    class status {
    public:
        virtual ~status() = default;
        virtual bool get_ext_pow() const = 0;
    };

    virtual ~node() = default;

    virtual const std::string& get_uid() const = 0;
    virtual const std::string& get_mac_address() const = 0;
    virtual timestamp get_updated_at() const = 0;
    virtual boost::optional<const status&> get_status() const = 0;
};

}  // namespace zentu::libs::context_utils::objects
