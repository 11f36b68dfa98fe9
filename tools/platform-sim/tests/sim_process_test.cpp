#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <thread>

#include "support/sim_test_support.hpp"
#include "test_kit/http_client.hpp"

extern char** environ;

namespace zentu::platform_sim::test {
namespace {

using test_kit::http_get;
using test_kit::http_post;
using namespace std::chrono_literals;

// The simulator executable with its stdout on a pipe.
class child_process {
public:
    explicit child_process(std::vector<std::string> args) {
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        args.insert(args.begin(), MAROVANE_SIM_EXECUTABLE);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int error = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        m_out = fds[0];
        if (error != 0)
            throw std::runtime_error("posix_spawn failed");
    }

    ~child_process() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_out);
    }

    std::optional<std::string> read_line(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (m_buffer.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd item{m_out, POLLIN, 0};
            if (left.count() <= 0 || poll(&item, 1, static_cast<int>(left.count())) <= 0)
                return std::nullopt;
            char data[4096];
            const auto n = read(m_out, data, sizeof data);
            if (n <= 0)
                return std::nullopt;
            m_buffer.append(data, static_cast<std::size_t>(n));
        }
        const auto end = m_buffer.find('\n');
        auto line = m_buffer.substr(0, end);
        m_buffer.erase(0, end + 1);
        return line;
    }

    // The exit status, or nothing when it has not ended in time.
    std::optional<int> wait_exit(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    }

    void signal(int number) { kill(m_pid, number); }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_buffer;
};

TEST(sim_process, prints_its_ports_serves_publishes_and_stops_on_sigterm) {
    const auto ready_file = ::testing::TempDir() + "sim_process_ready";
    std::remove(ready_file.c_str());
    child_process sim({"--site", std::string(MAROVANE_SIM_EXAMPLES) + "/site.json", "--http",
                       "127.0.0.1:0", "--pub", "tcp://127.0.0.1:0", "--ready-file", ready_file});
    auto first = sim.read_line(10s);
    ASSERT_TRUE(first);
    std::smatch match;
    const std::regex pattern(R"(^listening http=127\.0\.0\.1:(\d+) pub=tcp://127\.0\.0\.1:(\d+)$)");
    ASSERT_TRUE(std::regex_match(*first, match, pattern)) << *first;
    EXPECT_NE(match[1], "0");
    EXPECT_NE(match[2], "0");
    std::ifstream ready(ready_file);
    std::string ready_line;
    std::getline(ready, ready_line);
    EXPECT_EQ(ready_line, *first);

    const auto url = "http://127.0.0.1:" + match[1].str();
    EXPECT_EQ(http_get(url + "/sim/health").status, 200);
    EXPECT_EQ(http_get(url + "/api/private/zones/").json()["zones"].size(), 4u);

    // The stream is reachable at the printed endpoint.
    zmq::context_t context(1);
    zmq::socket_t sub(context, zmq::socket_type::sub);
    sub.set(zmq::sockopt::linger, 0);
    sub.set(zmq::sockopt::subscribe, "#zone_event");
    sub.connect("tcp://127.0.0.1:" + match[2].str());
    std::optional<std::string> frame;
    for (int i = 0; i < 50 && !frame; ++i) {
        http_post(url + "/sim/publish", R"({"topic": "zone_event", "message": {"probe": 1}})");
        zmq::pollitem_t item{static_cast<void*>(sub), 0, ZMQ_POLLIN, 0};
        if (zmq::poll(&item, 1, 50ms) > 0) {
            zmq::message_t message;
            if (sub.recv(message))
                frame = message.to_string();
        }
    }
    EXPECT_EQ(frame, "#zone_event{\"probe\":1}");

    // What it receives is logged on stdout.
    bool logged = false;
    while (auto line = sim.read_line(1s))
        if (line->find("GET /api/private/zones/ 200") != std::string::npos) {
            logged = true;
            break;
        }
    EXPECT_TRUE(logged);

    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait_exit(5s), 0);
}

TEST(sim_process, refuses_a_non_loopback_address_and_bad_arguments) {
    child_process nonlocal({"--http", "0.0.0.0:0"});
    EXPECT_EQ(nonlocal.wait_exit(5s), 2);
    child_process unknown({"--frobnicate"});
    EXPECT_EQ(unknown.wait_exit(5s), 2);
}

TEST(sim_process, serves_a_generated_site_and_stops_on_sigint) {
    child_process sim({"--generate", "objects=200,zones=20,alarms=5", "--quiet"});
    auto first = sim.read_line(10s);
    ASSERT_TRUE(first);
    const auto at = first->find("http=");
    const auto url = "http://" + first->substr(at + 5, first->find(' ', at) - at - 5);
    EXPECT_EQ(http_get(url + "/api/private/track_obj/").json()["trackableObjects"].size(), 200u);
    EXPECT_EQ(http_get(url + "/api/private/alarms/").json()["alarms"].size(), 5u);
    sim.signal(SIGINT);
    EXPECT_EQ(sim.wait_exit(5s), 0);
}

}  // namespace
}  // namespace zentu::platform_sim::test
