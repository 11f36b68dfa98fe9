#pragma once

#include <string>

namespace zentu::libs::core {

// The file named by the last "-c <file>"; other arguments are ignored.
// Throws exception with a usage text on an unknown option, a missing argument
// or no file name. May be called more than once per process.
std::string get_config_file_name(int argc, char** argv);

}  // namespace zentu::libs::core
