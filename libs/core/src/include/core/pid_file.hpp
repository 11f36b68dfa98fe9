#pragma once

#include <string>
#include <utility>

namespace zentu::libs::core {

// The file that names the running instance of a service by its process id.
// Used at start-up, on the thread that starts the service.
class pid_file {
public:
    explicit pid_file(std::string path) : m_path(std::move(path)) {}

    const std::string& path() const noexcept { return m_path; }

    // Throws exception "Process is running" followed by " (pid N in <file>)"
    // when the file names another live process. A missing file, no number, 0,
    // a negative number or our own pid (a stale file from an earlier run under
    // the same pid) count as no owner. A failing probe throws "write_pid:
    // kill(): " with the system error and the same detail.
    void check_owner() const;

    // Writes this process's id in decimal, without a line end. The file is
    // never removed. Throws exception "Error opening pid-file!" or "Error
    // writing pid-file!", each followed by the file name and the system error.
    void write() const;

    // What a starting service does: check_owner(), then write().
    void claim() const {
        check_owner();
        write();
    }

private:
    std::string m_path;
};

}  // namespace zentu::libs::core
