#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace zentu::test {

// A program started for a test, with standard output and error written to a
// file so the test can wait for lines. The destructor kills it if still
// running. Not thread-safe.
class child_process {
public:
    child_process(const std::vector<std::string>& argv, const std::string& output_file);
    ~child_process();

    child_process(const child_process&) = delete;
    child_process& operator=(const child_process&) = delete;

    pid_t pid() const { return m_pid; }
    const std::string& output_file() const { return m_output_file; }

    // Everything the program has written so far.
    std::string output() const;
    // Waits until the output contains text; returns the first line holding it.
    std::optional<std::string> wait_for_output(const std::string& text,
                                               std::chrono::milliseconds timeout) const;

    void signal(int signal_number);
    // The exit status (or 128 + signal), or nothing if still running at the timeout.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    bool running();

private:
    pid_t m_pid = -1;
    std::string m_output_file;
    std::optional<int> m_status;
};

}  // namespace zentu::test
