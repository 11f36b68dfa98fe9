#pragma once

#include <boost/optional.hpp>
#include <optional>
#include <vector>

namespace zentu::libs::context_utils::objects::detail {

// Calls f on each nested model until it returns false; an absent list is
// walked like an empty one.
template <typename Impl, typename F>
bool walk(const std::optional<std::vector<Impl>>& items, const F& f) {
    if (!items)
        return true;
    for (const Impl& item : *items) {
        if (!f(item))
            return false;
    }
    return true;
}

// Turns an optional nested model held in a cell into an optional reference.
template <typename I, typename Impl>
boost::optional<const I&> optional_ref(const std::optional<Impl>& value) {
    if (!value)
        return boost::none;
    return boost::optional<const I&>(*value);
}

}  // namespace zentu::libs::context_utils::objects::detail
