#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zentu::test_support {

// A small HTTP/1.1 server on 127.0.0.1 and a port chosen by the system, for
// tests that need real traffic. It serves on a thread of its own, records every
// request and answers from a table of programmed responses keyed by the exact
// request target (path and query). Unknown targets get the default response
// (404, empty body). All members may be called from any thread.
// Self-contained: only Boost.Asio/Beast in the .cpp; copy both files to reuse.
class http_test_server {
public:
    struct recorded_request {
        std::string method;
        std::string target;
        std::map<std::string, std::string> headers;  // names in lower case
        std::string body;
        std::size_t connection = 0;                // accepted connections are numbered from 1
        std::chrono::steady_clock::time_point at;  // when the request was read
    };

    struct response {
        int status = 200;
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers;
        std::chrono::milliseconds delay{0};  // before answering
        bool close_connection = false;       // answers with "Connection: close" and closes
        bool truncate = false;               // announces more body than it sends, then closes
        bool reset_after_headers = false;    // reads only the header, then resets the connection
    };

    http_test_server();
    ~http_test_server();
    http_test_server(const http_test_server&) = delete;
    http_test_server& operator=(const http_test_server&) = delete;

    std::uint16_t port() const;
    // "http://127.0.0.1:<port>", without a trailing slash.
    std::string url() const;

    void set_response(const std::string& target, response r);
    void set_default_response(response r);
    // One-shot responses for target, used in order before its standing one.
    void queue_responses(const std::string& target, std::vector<response> responses);
    void set_redirect(const std::string& target, const std::string& location, int status = 302);

    std::vector<recorded_request> requests() const;
    std::size_t request_count() const;
    // Waits until at least count requests were recorded.
    bool wait_for_requests(std::size_t count, std::chrono::milliseconds timeout) const;
    std::size_t connection_count() const;
    // Highest number of requests received and not yet answered at one time.
    std::size_t max_concurrent_requests() const;

    struct state;  // the server's internals, defined in the .cpp

private:
    std::unique_ptr<state> m_state;
};

}  // namespace zentu::test_support
