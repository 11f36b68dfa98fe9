#pragma once

#include <memory>
#include <optional>
#include <string>

#include "context_utils/json_template.hpp"
#include "context_utils/types.hpp"

namespace zentu::libs::context_utils::objects {

// An owning sublocation model with fields converted on first access. Used on
// the events-loop thread only; const getters fill the cache.
class sublocation {
public:
    using ptr = std::unique_ptr<sublocation>;

    // A model owning a copy of its JSON: one element of a REST list (the time
    // comes from "updated_at"), or a whole notification (the record is its
    // "plist", the time its "ts" and "ms"). Construction converts nothing.
    static ptr create(const json_object& element);
    static ptr create(const json_notify& notify);

    virtual ~sublocation() = default;

    virtual const std::string& get_uid() const = 0;
    virtual timestamp get_updated_at() const = 0;
    virtual const std::optional<std::string>& get_name() const = 0;
    virtual const std::optional<std::string>& get_project_name() const = 0;
    virtual const std::optional<std::string>& get_project_uid() const = 0;
    virtual const std::optional<std::string>& get_company_uid() const = 0;
    virtual const std::optional<std::string>& get_location_uid() const = 0;
    virtual std::optional<unsigned> get_id() const = 0;
    virtual std::optional<int> get_offset_x() const = 0;
    virtual std::optional<int> get_offset_y() const = 0;
    virtual std::optional<int> get_offset_z() const = 0;
};

}  // namespace zentu::libs::context_utils::objects
