// The built daemon run as a real process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include <zmq.hpp>

#include "support/child_process.hpp"

#ifndef MAROVANE_BINARY
#error "MAROVANE_BINARY must name the built daemon"
#endif

namespace zentu {
namespace {

using namespace std::chrono_literals;

const std::string binary = MAROVANE_BINARY;

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether the process has handlers installed for SIGINT and SIGTERM.
bool catches_stop_signals(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) != 0)
            continue;
        const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
        const unsigned long long wanted = (1ULL << (SIGINT - 1)) | (1ULL << (SIGTERM - 1));
        return (mask & wanted) == wanted;
    }
    return false;
}

class main_process_test : public ::testing::Test {
protected:
    main_process_test() : m_log_stream(m_context, zmq::socket_type::pull) {
        char pattern[] = "/tmp/main_process_test.XXXXXX";
        m_dir = ::mkdtemp(pattern);
        m_pid_file = m_dir + "/marovane.pid";
        // Collects the daemon's log stream, so its lines drain and can be read.
        m_log_stream.bind("tcp://127.0.0.1:*");
        m_log_endpoint = m_log_stream.get(zmq::sockopt::last_endpoint);
    }
    ~main_process_test() override {
        m_log_stream.close();
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }

    std::string write_config(const std::string& pid_file) {
        const std::string path = m_dir + "/marovane.json";
        std::ofstream(path) << R"({"system": {"pidfile": ")" << pid_file << R"(", "debug_port": ")"
                            << m_log_endpoint << R"(", "local_debug": false},
"proxy": {"address": "127.0.0.1", "output_port": 1},
"server": {"protocol": "http", "address": "127.0.0.1:1", "timeout": 1},
"redis": {"host": "127.0.0.1", "port": 1, "password": ""}})";
        return path;
    }

    std::unique_ptr<test::child_process> start(std::vector<std::string> args) {
        args.insert(args.begin(), binary);
        const std::string output = m_dir + "/output" + std::to_string(m_started++) + ".txt";
        return std::make_unique<test::child_process>(args, output);
    }

    // Runs to the end and returns the exit status and everything it wrote.
    std::pair<int, std::string> run(std::vector<std::string> args) {
        auto process = start(std::move(args));
        const auto status = process->wait(30s);
        EXPECT_TRUE(status);
        return {status.value_or(-1), process->output()};
    }

    // Waits for the log stream line that ends with text.
    std::string wait_for_log_line(const std::string& text) {
        m_log_stream.set(zmq::sockopt::rcvtimeo, 10000);
        zmq::message_t message;
        while (m_log_stream.recv(message)) {
            const std::string line = message.to_string();
            if (line.size() >= text.size() &&
                line.compare(line.size() - text.size(), text.size(), text) == 0)
                return line;
        }
        return "<none>";
    }

    zmq::context_t m_context;
    zmq::socket_t m_log_stream;
    std::string m_log_endpoint;
    std::string m_dir;
    std::string m_pid_file;
    int m_started = 0;
};

// A start-up failure is one stderr line: program, ": " and the logged text.
void expect_failure_line(const std::string& output, const std::string& text) {
    EXPECT_EQ(output.rfind(binary + ": ", 0), 0u) << output;
    EXPECT_NE(output.find(text), std::string::npos) << output;
    EXPECT_EQ(output.back(), '\n');
}

TEST_F(main_process_test, command_line_errors_exit_with_status_one) {
    auto [status, output] = run({});
    EXPECT_EQ(status, 1);
    expect_failure_line(
        output, "The configuration file is not defined! Usage: " + binary + " -c config_file");
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;

    std::tie(status, output) = run({"-x"});
    EXPECT_EQ(status, 1);
    expect_failure_line(output, "Usage: " + binary + " -c config_file");
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
}

TEST_F(main_process_test, invalid_configuration_exits_with_status_one) {
    auto [status, output] = run({"-c", m_dir + "/missing.json"});
    EXPECT_EQ(status, 1);
    expect_failure_line(output, "Cannot parse json");

    const std::string partial = m_dir + "/partial.json";
    std::ofstream(partial) << R"({"system": {"pidfile": "x"}})";
    std::tie(status, output) = run({"-c", partial});
    EXPECT_EQ(status, 1);
    expect_failure_line(output, "Config file is invalid: ");
}

TEST_F(main_process_test, unwritable_pid_file_exits_with_status_one) {
    const std::string pid_file = m_dir + "/missing/marovane.pid";
    auto [status, output] = run({"-c", write_config(pid_file)});
    EXPECT_EQ(status, 1);
    expect_failure_line(output,
                        "Error opening pid-file! " + pid_file + ": No such file or directory");
    // The last line reaches the log stream although the process ends at once.
    EXPECT_NE(wait_for_log_line(pid_file + ": No such file or directory"), "<none>");
}

TEST_F(main_process_test, help_version_and_configuration_check) {
    auto [status, output] = run({"--help"});
    EXPECT_EQ(status, 0);
    EXPECT_NE(output.find("-c config_file"), std::string::npos) << output;
    EXPECT_NE(output.find("--check-config"), std::string::npos) << output;

    std::tie(status, output) = run({"-V"});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output.rfind("marovane 0.", 0), 0u) << output;

    // The pid file named in the configuration is never touched by a check.
    const std::string config = write_config(m_pid_file);
    std::tie(status, output) = run({"-t", "-c", config});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output, "configuration OK\n");
    EXPECT_FALSE(std::ifstream(m_pid_file).good());

    const std::string bad = m_dir + "/bad.json";
    std::ofstream(bad) << R"({"system": {"pidfile": "p", "debug_port": "tcp://127.0.0.1:1",
        "local_debug": 1}, "proxy": {"address": "127.0.0.1", "output_port": 70000},
        "server": {"protocol": "http", "address": "127.0.0.1:1", "timeout": -3},
        "redis": {"host": "127.0.0.1", "port": 1, "password": ""}})";
    std::tie(status, output) = run({"--check-config", "-c", bad});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(output, bad + ": system.local_debug: expected a boolean, found an integer\n" + bad +
                          ": proxy.output_port: the port must be 1-65535, found 70000\n" + bad +
                          ": server.timeout: must be more than 0 (seconds), found -3\n" + bad +
                          ": 3 problems\n");

    std::tie(status, output) = run({"-t", "-c", m_dir + "/missing.json"});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(output, m_dir + "/missing.json: cannot read: No such file or directory\n" + m_dir +
                          "/missing.json: 1 problem\n");
}

TEST_F(main_process_test, runs_until_sigterm_refusing_a_second_instance) {
    const std::string config = write_config(m_pid_file);
    auto daemon = start({"-c", config});
    const std::string pid = std::to_string(daemon->pid());
    for (int i = 0; i < 1000 && !catches_stop_signals(daemon->pid()); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(catches_stop_signals(daemon->pid())) << daemon->output();
    EXPECT_EQ(read_file(m_pid_file), pid);

    auto [status, output] = run({"-c", config});
    EXPECT_EQ(status, 1);
    expect_failure_line(output, "Process is running");
    EXPECT_EQ(read_file(m_pid_file), pid);
    EXPECT_TRUE(daemon->running());

    daemon->signal(SIGTERM);
    EXPECT_EQ(daemon->wait(30s), 0);
    const std::string exit_line = wait_for_log_line(" exit");
    EXPECT_EQ(exit_line.rfind("&marovane:main ", 0), 0u) << exit_line;
    EXPECT_NE(exit_line.find(" /src/main.cpp:"), std::string::npos) << exit_line;
    EXPECT_EQ(read_file(m_pid_file), pid);
    EXPECT_EQ(daemon->output(), "");
}

TEST_F(main_process_test, sigint_stops_cleanly_and_logs_exit) {
    auto daemon = start({"-c", write_config(m_pid_file)});
    for (int i = 0; i < 1000 && !catches_stop_signals(daemon->pid()); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(catches_stop_signals(daemon->pid())) << daemon->output();
    daemon->signal(SIGINT);
    EXPECT_EQ(daemon->wait(30s), 0);
    EXPECT_NE(wait_for_log_line(" exit"), "<none>");
}

}  // namespace
}  // namespace zentu
