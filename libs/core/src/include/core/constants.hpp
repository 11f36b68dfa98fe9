#pragma once

#include <string_view>

namespace zentu::libs::core::constants {

// Fixed when the program is built.
extern const std::string_view project_name;
// Absolute path of the source tree root, without a trailing slash.
extern const std::string_view source_directory;

}  // namespace zentu::libs::core::constants
