#include "context/context.hpp"

namespace zentu::context {

std::optional<std::string> context::get_sublocation_uid(const zone& z) const {
    if (z.get_sublocation_uid())
        return z.get_sublocation_uid();
    if (const auto& owner = z.get_trackable_object_uid()) {
        if (const auto object = m_trackable_objects.try_get(*owner))
            return object->get_sublocation_uid();
    }
    return std::nullopt;
}

}  // namespace zentu::context
