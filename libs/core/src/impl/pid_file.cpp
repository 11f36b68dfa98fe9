#include "core/pid_file.hpp"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>

#include "core/exception.hpp"

namespace zentu::libs::core {
namespace {

std::string system_error(const std::string& pid_file_name, int error) {
    return " " + pid_file_name + ": " + std::strerror(error);
}

}  // namespace

void pid_file::check_owner() const {
    const std::string& pid_file_name = m_path;
    pid_t pid = 0;
    {
        std::ifstream file(pid_file_name);
        if (!file)
            return;
        if (!(file >> pid))
            return;
    }
    // kill() with 0 or a negative id probes process groups, and our own id
    // always answers: none of these is another instance.
    if (pid <= 0 || pid == getpid())
        return;
    const std::string owner = " (pid " + std::to_string(pid) + " in " + pid_file_name + ")";
    if (kill(pid, 0) == 0)
        ZENTU_THROW("Process is running" + owner);
    if (errno == ESRCH)
        return;
    ZENTU_THROW(std::string("write_pid: kill(): ") + std::strerror(errno) + owner);
}

void pid_file::write() const {
    const std::string& pid_file_name = m_path;
    const int fd = ::open(pid_file_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        ZENTU_THROW("Error opening pid-file!" + system_error(pid_file_name, errno));
    const std::string text = std::to_string(getpid());
    const ssize_t written = ::write(fd, text.data(), text.size());
    const int write_error = written < 0 ? errno : ENOSPC;
    const bool complete = written == static_cast<ssize_t>(text.size());
    const bool closed = ::close(fd) == 0;
    if (!complete)
        ZENTU_THROW("Error writing pid-file!" + system_error(pid_file_name, write_error));
    if (!closed)
        ZENTU_THROW("Error writing pid-file!" + system_error(pid_file_name, errno));
}

}  // namespace zentu::libs::core
