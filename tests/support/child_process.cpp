#include "support/child_process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace zentu::test {

child_process::child_process(const std::vector<std::string>& argv, const std::string& output_file)
    : m_output_file(output_file) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output_file.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const int rc = posix_spawnp(&m_pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + argv.front());
}

child_process::~child_process() {
    if (running()) {
        ::kill(m_pid, SIGKILL);
        wait(std::chrono::seconds(5));
    }
}

std::string child_process::output() const {
    std::ifstream in(m_output_file);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::optional<std::string> child_process::wait_for_output(const std::string& text,
                                                          std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        std::istringstream lines(output());
        std::string line;
        while (std::getline(lines, line))
            if (line.find(text) != std::string::npos)
                return line;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

void child_process::signal(int signal_number) {
    if (m_pid > 0 && !m_status)
        ::kill(m_pid, signal_number);
}

std::optional<int> child_process::wait(std::chrono::milliseconds timeout) {
    if (m_status)
        return m_status;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return m_status;
        }
        if (r < 0)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

bool child_process::running() {
    return m_pid > 0 && !wait(std::chrono::milliseconds(0));
}

}  // namespace zentu::test
