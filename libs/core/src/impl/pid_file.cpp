#include "core/pid_file.hpp"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>

#include "core/exception.hpp"

namespace zentu::libs::core::detail {

void check_pid(const std::string& pid_file_name) {
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
    if (kill(pid, 0) == 0)
        ZENTU_THROW("Process is running");
    if (errno == ESRCH)
        return;
    ZENTU_THROW(std::string("write_pid: kill(): ") + std::strerror(errno));
}

void write_pid(const std::string& pid_file_name) {
    std::ofstream file(pid_file_name, std::ios::out | std::ios::trunc);
    if (!file)
        ZENTU_THROW("Error opening pid-file!");
    file << getpid();
}

}  // namespace zentu::libs::core::detail
