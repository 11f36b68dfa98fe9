#include "test_kit/tls_test_server.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace zentu::test_kit {
namespace {

constexpr auto start_timeout = std::chrono::seconds(10);

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error("tls_test_server: " + what);
}

// Runs argv in dir, standard input and error on /dev/null, standard output on
// `out` (or /dev/null when it is -1).
pid_t spawn(const std::vector<std::string>& argv, const std::string& dir, int out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (out >= 0)
        posix_spawn_file_actions_adddup2(&actions, out, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        fail("cannot run " + argv[0] + ": " + std::strerror(error));
    return pid;
}

int wait_for_exit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// s_server tells its port on a line "ACCEPT 127.0.0.1:<port>"; 0 when the
// output ends or the time runs out first.
std::uint16_t read_port(int output) {
    const auto deadline = std::chrono::steady_clock::now() + start_timeout;
    std::string text;
    for (;;) {
        const auto at = text.find("ACCEPT ");
        const auto end = at == std::string::npos ? at : text.find('\n', at);
        if (end != std::string::npos) {
            const auto colon = text.rfind(':', end);
            return static_cast<std::uint16_t>(std::stoi(text.substr(colon + 1, end - colon - 1)));
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{output, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0)
            return 0;
        char buffer[512];
        const ssize_t n = ::read(output, buffer, sizeof(buffer));
        if (n <= 0)
            return 0;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace

tls_test_server::tls_test_server() {
    char pattern[] = "/tmp/tls_test_server.XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        fail(std::string("mkdtemp: ") + std::strerror(errno));
    m_dir = pattern;
    try {
        const pid_t maker = spawn(
            {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
             "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
             "subjectAltName=IP:127.0.0.1", "-keyout", "key.pem", "-out", "cert.pem"},
            m_dir, -1);
        if (wait_for_exit(maker) != 0)
            fail("openssl req could not make a certificate");
        start_server();
    } catch (...) {
        std::filesystem::remove_all(m_dir);
        throw;
    }
}

void tls_test_server::start_server() {
    int pipe_ends[2];
    if (::pipe2(pipe_ends, O_CLOEXEC) != 0)
        fail(std::string("pipe: ") + std::strerror(errno));
    try {
        m_pid = spawn({"openssl", "s_server", "-accept", "127.0.0.1:0", "-cert", "cert.pem", "-key",
                       "key.pem", "-HTTP"},
                      m_dir, pipe_ends[1]);
    } catch (...) {
        ::close(pipe_ends[0]);
        ::close(pipe_ends[1]);
        throw;
    }
    ::close(pipe_ends[1]);
    m_output = pipe_ends[0];
    m_port = read_port(m_output);
    if (m_port == 0) {
        ::kill(m_pid, SIGTERM);
        wait_for_exit(m_pid);
        ::close(m_output);
        fail("openssl s_server did not start");
    }
}

tls_test_server::~tls_test_server() {
    ::kill(m_pid, SIGTERM);
    wait_for_exit(m_pid);
    ::close(m_output);
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

std::string tls_test_server::url() const {
    return "https://127.0.0.1:" + std::to_string(m_port);
}

std::string tls_test_server::certificate_file() const {
    return m_dir + "/cert.pem";
}

void tls_test_server::set_response(const std::string& name, int status, const std::string& body,
                                   const std::string& extra_headers) {
    std::ofstream file(m_dir + "/" + name, std::ios::binary | std::ios::trunc);
    file << "HTTP/1.0 " << status << " X\r\n"
         << extra_headers << "Content-Length: " << body.size() << "\r\n\r\n"
         << body;
    if (!file.flush())
        fail("cannot write " + name);
}

void tls_test_server::set_redirect(const std::string& name, const std::string& location) {
    set_response(name, 302, "", "Location: " + location + "\r\n");
}

}  // namespace zentu::test_kit
