#pragma once

#include <optional>
#include <string_view>
#include <type_traits>

namespace zentu::libs::core {

// The enumerator of E whose text (to_string, found by argument-dependent
// lookup) equals the argument exactly; values are tried from 0 to E::_count - 1.
template <typename E>
std::optional<E> enum_from_string(std::string_view text) {
    static_assert(std::is_enum_v<E>, "enum_from_string needs an enumeration");
    using underlying = std::underlying_type_t<E>;
    for (underlying i = 0; i < static_cast<underlying>(E::_count); ++i) {
        const auto value = static_cast<E>(i);
        if (std::string_view(to_string(value)) == text)
            return value;
    }
    return std::nullopt;
}

}  // namespace zentu::libs::core
