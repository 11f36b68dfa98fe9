#pragma once

#include <string>

#include "context_utils/object_type.hpp"

namespace zentu::libs::context_utils {

// Where the server lists one kind of object and how notifications name it.
struct object_info {
    object_type m_type;
    std::string m_rest_endpoint;
    std::string m_rest_json_name;
    // Empty for kinds without notifications.
    std::string m_notify_json_name;
};

// The catalogue: one row per kind, immutable after static initialisation.
struct object_infos {
    static const object_info zone;
    static const object_info trackable_object;
    static const object_info win_anchor;
    static const object_info sublocation;
    static const object_info alarm;
    static const object_info node;
};

}  // namespace zentu::libs::context_utils
