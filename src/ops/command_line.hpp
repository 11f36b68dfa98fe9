#pragma once

#include <string>

namespace zentu::ops {

// What the command line asks for.
struct command_line {
    enum class action { run, check_config, help, version };

    action what = action::run;
    // The file of the last -c; set for run and check_config.
    std::string config_file;
    // The usage text (for help).
    std::string usage;
};

// Parses -c FILE, -t/--check-config, -h/--help and -V/--version; other
// arguments that are not options are ignored, and the last -c wins. Throws
// libs::core::exception "Usage: <program> -c config_file" followed by what is
// wrong on a bad command line, and "The configuration file is not defined!
// Usage: <program> -c config_file" when running or checking without a file.
command_line parse_command_line(int argc, char** argv);

}  // namespace zentu::ops
