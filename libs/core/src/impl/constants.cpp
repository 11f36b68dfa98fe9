#include "core/constants.hpp"

#ifndef ZENTU_SOURCE_DIRECTORY
#error "ZENTU_SOURCE_DIRECTORY must be defined by the build"
#endif

namespace zentu::libs::core::constants {

const std::string_view project_name = "marovane";
const std::string_view source_directory = ZENTU_SOURCE_DIRECTORY;

}  // namespace zentu::libs::core::constants
