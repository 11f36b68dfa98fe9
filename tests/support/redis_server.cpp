#include "support/redis_server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace zentu::test {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool accepts_connections(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const sockaddr_in address = loopback(port);
    const bool connected =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return connected;
}

}  // namespace

int unused_loopback_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        throw std::runtime_error("socket() failed");
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof(address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        throw std::runtime_error("cannot find a free port");
    }
    close(fd);
    return ntohs(address.sin_port);
}

redis_server::redis_server(const std::string& password) : m_password(password) {
    char directory[] = "/tmp/marovane-redis-XXXXXX";
    if (!mkdtemp(directory))
        throw std::runtime_error("mkdtemp failed");
    m_directory = directory;
    // Another process may take the port between probing and binding: retry.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (start_on(unused_loopback_port()))
            return;
    }
    rmdir(m_directory.c_str());
    throw std::runtime_error("redis-server did not start");
}

redis_server::~redis_server() {
    stop();
    rmdir(m_directory.c_str());
}

bool redis_server::start_on(int port) {
    const std::string port_text = std::to_string(port);
    std::vector<std::string> args{"redis-server",
                                  "--bind",
                                  "127.0.0.1",
                                  "--port",
                                  port_text,
                                  "--save",
                                  "",
                                  "--appendonly",
                                  "no",
                                  "--dir",
                                  m_directory,
                                  "--logfile",
                                  "",
                                  "--daemonize",
                                  "no"};
    if (!m_password.empty()) {
        args.push_back("--requirepass");
        args.push_back(m_password);
    }
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "redis-server", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot run redis-server");

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return false;
        if (accepts_connections(port)) {
            m_pid = pid;
            m_port = port;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return false;
}

void redis_server::signal_and_wait(int signal) {
    if (m_pid <= 0)
        return;
    ::kill(m_pid, signal);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

void redis_server::stop() {
    signal_and_wait(SIGTERM);
}

void redis_server::kill() {
    signal_and_wait(SIGKILL);
}

void redis_server::restart() {
    stop();
    if (!start_on(m_port))
        throw std::runtime_error("redis-server did not restart");
}

int shared_redis_port() {
    if (const char* port = std::getenv("MAROVANE_TEST_REDIS_PORT"))
        return std::atoi(port);
    static const std::unique_ptr<redis_server> own = std::make_unique<redis_server>();
    return own->port();
}

}  // namespace zentu::test
