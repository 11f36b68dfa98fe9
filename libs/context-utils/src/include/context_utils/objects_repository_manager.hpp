#pragma once

#include <chrono>
#include <memory>

#include "context_utils/objects_repository.hpp"

namespace zentu::libs::context_utils {

// A self-maintaining store of one kind of server object: filled at creation,
// following the kind's notifications and reloaded periodically. Subscribe to
// get_objects() to learn of changes. Used on the events-loop thread only.
template <typename T>
class objects_repository_manager {
public:
    using ptr = std::unique_ptr<objects_repository_manager>;

    virtual ~objects_repository_manager() = default;
    virtual const objects_repository<T>& get_objects() const = 0;
    // Stops the periodic reload; notifications are still followed.
    virtual void disable_timer() = 0;
    // New period; the next reload is one period from now.
    virtual void set_update_period(std::chrono::nanoseconds period) = 0;
};

}  // namespace zentu::libs::context_utils
