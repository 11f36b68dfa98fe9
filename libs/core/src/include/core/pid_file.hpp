#pragma once

#include <string>

namespace zentu::libs::core::detail {

// Throws exception "Process is running" followed by " (pid N in <file>)" when
// the pid file names another live process. A missing file, no number, 0, a negative number or our
// own pid (a stale file from an earlier run under the same pid) count as no owner.
void check_pid(const std::string& pid_file_name);

// Writes this process's id in decimal, without a line end. The file is never
// removed. Throws exception "Error opening pid-file!" or "Error writing
// pid-file!", each followed by the file name and the system error.
void write_pid(const std::string& pid_file_name);

}  // namespace zentu::libs::core::detail
