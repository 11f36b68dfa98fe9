#pragma once

#include <sys/types.h>

#include <string>

namespace zentu::test {

// A private redis-server on a free loopback port, without persistence, for
// tests that need to restart, kill or password-protect it. Started by the
// constructor (throws std::runtime_error when it cannot start), stopped by
// the destructor. Not thread-safe.
class redis_server {
public:
    explicit redis_server(const std::string& password = {});
    ~redis_server();

    redis_server(const redis_server&) = delete;
    redis_server& operator=(const redis_server&) = delete;

    int port() const { return m_port; }
    bool running() const { return m_pid > 0; }

    // SIGTERM and wait.
    void stop();
    // SIGKILL and wait: the server vanishes without closing anything cleanly.
    void kill();
    // Starts again on the same port.
    void restart();

private:
    bool start_on(int port);
    void signal_and_wait(int signal);

    std::string m_password;
    std::string m_directory;
    int m_port = 0;
    pid_t m_pid = -1;
};

// A loopback port nothing listens on at the time of the call.
int unused_loopback_port();

// The redis-server shared by the suite (MAROVANE_TEST_REDIS_PORT), or a
// private one started on first use and stopped at exit.
int shared_redis_port();

}  // namespace zentu::test
