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

#include "core/exception.hpp"
#include "redis/redis_context.hpp"
#include "support/redis_server.hpp"
#include "test_kit/error_of.hpp"

namespace zentu::redis {
namespace {

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
    EXPECT_EQ(error_of([&] { context("127.0.0.1", server.port(), 0, "pw"); }), "AUTH failed");
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

}  // namespace
}  // namespace zentu::redis
