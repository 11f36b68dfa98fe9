#pragma once

#include <string>
#include <type_traits>
#include <utility>

#include "core/exception.hpp"

namespace zentu::test_kit {

// What error_of gives when the action throws nothing.
inline const std::string no_error = "no error";

// The text of the Exception that action throws, or no_error: the project's
// exceptions give their message (without the source location what() adds),
// any other type its what(). error_of<std::logic_error>(...) for logic errors,
// error_of<std::exception>(...) for any exception. An exception of another
// type passes through, so the test fails with it.
template <typename Exception = libs::core::exception, typename Action>
std::string error_of(Action&& action) {
    try {
        std::forward<Action>(action)();
    } catch (const Exception& e) {
        if constexpr (std::is_base_of_v<libs::core::exception, Exception>)
            return e.get_string_error();
        else
            return e.what();
    }
    return no_error;
}

}  // namespace zentu::test_kit
