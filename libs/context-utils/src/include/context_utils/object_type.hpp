#pragma once

#include <cstdint>

namespace zentu::libs::context_utils {

enum class object_type : std::uint32_t {
    zone = 0,
    trackable_object = 1,
    win_anchor = 2,
    sublocation = 3,
    alarm = 4,
    node = 5,
    _count = 6,
};

}  // namespace zentu::libs::context_utils
