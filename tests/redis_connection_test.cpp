#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>
#include <zmq.hpp>

#include "alarms_fakes.hpp"
#include "core/exception.hpp"
#include "core/logger.hpp"
#include "redis/connect.hpp"
#include "redis/redis_context.hpp"
#include "support/redis_server.hpp"
#include "test_kit/error_of.hpp"

namespace zentu::redis {
namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;
using testing::StartsWith;

using test_kit::error_of;

// Accepts one connection on a loopback port and answers whatever arrives
// with a fixed RESP text.
class scripted_server {
public:
    explicit scripted_server(std::string answer) : m_answer(std::move(answer)) {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (m_listener < 0 ||
            bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
            listen(m_listener, 1) != 0) {
            if (m_listener >= 0)
                close(m_listener);
            throw std::runtime_error("cannot listen on a loopback port");
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            const int client = accept(m_listener, nullptr, nullptr);
            if (client < 0)
                return;
            char buffer[512];
            if (read(client, buffer, sizeof(buffer)) > 0)
                m_received.assign(buffer);
            if (write(client, m_answer.data(), m_answer.size()) < 0)
                m_received += " (answer not written)";
            close(client);
        });
    }

    ~scripted_server() {
        shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        close(m_listener);
    }

    int port() const { return m_port; }
    // Only read after the exchange is over.
    const std::string& received() const { return m_received; }

private:
    std::string m_answer;
    std::string m_received;
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
};

TEST(redis_connection, refused_connection_is_reported) {
    const int port = test::unused_loopback_port();
    EXPECT_EQ(error_of([&] { context("127.0.0.1", port, 0, ""); }),
              "Connection error: Connection refused");
}

TEST(redis_connection, authentication) {
    test::redis_server server("s3cret pass");
    // No AUTH without a password: the SELECT that always follows is refused.
    EXPECT_THAT(error_of([&] { context("127.0.0.1", server.port(), 2, ""); }),
                StartsWith("Command: SELECT %u, error: NOAUTH "));
    EXPECT_THAT(error_of([&] { context("127.0.0.1", server.port(), 2, "wrong"); }),
                StartsWith("Command: AUTH %s, error: WRONGPASS "));

    context redis("127.0.0.1", server.port(), 2, "s3cret pass");
    EXPECT_EQ(redis.execute_command("PING").to_string(), "PONG");
    redis.set_to_table("t", "f", "v");
    EXPECT_EQ(redis.flush_db().to_string(), "OK");
    EXPECT_EQ(redis.get_from_table("t", "f").get_type(), reply_type::NIL);
}

TEST(redis_connection, auth_status_other_than_ok_fails) {
    scripted_server server("+QUEUED\r\n");
    EXPECT_EQ(error_of<authentication_error>([&] { context("127.0.0.1", server.port(), 0, "pw"); }),
              "AUTH failed");
    EXPECT_THAT(server.received(), StartsWith("*2\r\n$4\r\nAUTH\r\n$2\r\npw\r\n"));
}

TEST(redis_connection, server_gone_mid_session) {
    test::redis_server server;
    context redis("127.0.0.1", server.port(), 0, "");
    redis.set_to_table("t", "f", "v");
    EXPECT_FALSE(redis.is_broken());

    server.kill();
    EXPECT_THAT(error_of([&] { redis.set_to_table("t", "f", "w"); }),
                StartsWith("Command: HSET, error: no reply ("));
    EXPECT_TRUE(redis.is_broken());
    // It stays broken: later commands fail at once.
    EXPECT_THAT(error_of([&] { redis.execute_command("PING"); }),
                StartsWith("Command: PING, error: no reply ("));

    // The owner recovers with a new context once the server is back.
    server.restart();
    context fresh("127.0.0.1", server.port(), 0, "");
    EXPECT_EQ(fresh.execute_command("PING").to_string(), "PONG");
}

TEST(redis_connection, first_large_write_after_kill_does_not_raise_sigpipe) {
    test::redis_server server;
    context redis("127.0.0.1", server.port(), 0, "");
    server.kill();
    // Let the reset reach the client so that the write itself fails.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string large(8 << 20, 'x');
    EXPECT_THAT(error_of([&] { redis.set_to_table("t", "f", large); }),
                testing::AllOf(StartsWith("Command: HSET, error: no reply ("), HasSubstr(")")));
    EXPECT_TRUE(redis.is_broken());
}

TEST(redis_connection, refused_password_is_told_from_unreachable_server) {
    test::redis_server server("s3cret");
    const int absent = test::unused_loopback_port();
    EXPECT_EQ(error_of<connection_error>([&] { context("127.0.0.1", absent, 0, ""); }),
              "Connection error: Connection refused");
    EXPECT_THAT(
        error_of<authentication_error>([&] { context("127.0.0.1", server.port(), 0, "wrong"); }),
        StartsWith("Command: AUTH %s, error: WRONGPASS "));
    EXPECT_THAT(error_of<authentication_error>([&] { context("127.0.0.1", server.port(), 0, ""); }),
                StartsWith("Command: SELECT %u, error: NOAUTH "));

    // connect() names the cause and the server for an operator.
    const std::string at = "127.0.0.1:" + std::to_string(server.port());
    EXPECT_THAT(error_of<authentication_error>([&] {
                    connect({"127.0.0.1", server.port(), 0, "wrong"});
                }),
                StartsWith("Redis refused the password (" + at +
                           "): Command: AUTH %s, error: "
                           "WRONGPASS "));
    EXPECT_EQ(error_of<connection_error>([&] {
                  connect({"127.0.0.1", absent, 0, ""});
              }),
              "Redis unreachable (127.0.0.1:" + std::to_string(absent) +
                  "): Connection error: Connection refused");
    EXPECT_EQ(
        connect({"127.0.0.1", server.port(), 0, "s3cret"})->execute_command("PING").to_string(),
        "PONG");
}

// The bounded wait at start, on a clock that moves at once; its log lines read
// from the log stream.
class redis_startup_wait_test : public ::testing::Test {
protected:
    redis_startup_wait_test()
        : m_log_stream(m_zmq, zmq::socket_type::pull), m_logger("marovane-test", "redis") {
        m_log_stream.bind("tcp://127.0.0.1:*");
        m_log_stream.set(zmq::sockopt::rcvtimeo, 3000);
        m_logger.connect(m_log_stream.get(zmq::sockopt::last_endpoint));
    }

    context::ptr wait(const endpoint& where, std::chrono::seconds bound) {
        return wait_at_start(
            where, bound, m_clock, [this] { return m_stop; }, m_logger);
    }

    // The lines logged up to the first that holds text (all of them when none does).
    std::vector<std::string> lines_up_to(const std::string& text) {
        std::vector<std::string> lines;
        zmq::message_t message;
        while (m_log_stream.recv(message)) {
            lines.push_back(message.to_string());
            if (lines.back().find(text) != std::string::npos)
                break;
        }
        return lines;
    }

    zmq::context_t m_zmq;
    zmq::socket_t m_log_stream;
    libs::core::logger m_logger;
    test::fake_timers m_clock;
    bool m_stop = false;
};

TEST_F(redis_startup_wait_test, gives_up_after_the_bound_naming_the_cause) {
    const int absent = test::unused_loopback_port();
    const auto started = m_clock.current_time_point();
    EXPECT_EQ(wait({"127.0.0.1", absent, 10, ""}, 3s), nullptr);
    EXPECT_EQ(m_clock.current_time_point() - started, 3s);
    const std::string warning = "Redis at 127.0.0.1:" + std::to_string(absent) +
                                " unreachable after 3 s: starting with the mirror suspended; it is "
                                "written once Redis answers";
    const auto lines = lines_up_to(warning);
    ASSERT_THAT(lines.back(), HasSubstr(warning));
    // Four attempts, one line for their one cause.
    std::size_t refused = 0;
    for (const auto& line : lines)
        refused += line.find("Redis unreachable (127.0.0.1:") != std::string::npos;
    EXPECT_EQ(refused, 1u);

    test::redis_server server("s3cret");
    const std::string at = "127.0.0.1:" + std::to_string(server.port());
    EXPECT_EQ(wait({"127.0.0.1", server.port(), 10, "wrong"}, 0s), nullptr);
    EXPECT_EQ(m_clock.current_time_point() - started, 3s);
    EXPECT_THAT(lines_up_to("mirror suspended").back(),
                HasSubstr("Redis refused the password (" + at +
                          "): starting with the mirror suspended; it is written once Redis "
                          "accepts it"));

    EXPECT_NE(wait({"127.0.0.1", server.port(), 10, "s3cret"}, 3s), nullptr);
}

TEST_F(redis_startup_wait_test, stop_signal_ends_the_wait) {
    m_stop = true;
    EXPECT_EQ(error_of([&] {
                  wait({"127.0.0.1", test::unused_loopback_port(), 10, ""}, 10s);
              }),
              "Interrupted");
    test::redis_server server;
    // Looked at after a successful attempt too.
    EXPECT_EQ(error_of([&] { wait({"127.0.0.1", server.port(), 10, ""}, 10s); }), "Interrupted");
}

}  // namespace
}  // namespace zentu::redis
