#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "test_kit/loopback_http_server.hpp"

namespace zentu::test_kit {

// A loopback HTTP server for tests that need real traffic, on 127.0.0.1 and a
// port chosen by the system. It records every request and answers from a
// table of programmed responses keyed by the exact request target (path and
// query); one-shot responses queued for a target come first, in order.
// Unknown targets get the default response (404, empty body). All members may
// be called from any thread.
class http_test_server {
public:
    using recorded_request = http_request;

    struct response {
        int status = 200;
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers;
        std::chrono::milliseconds delay{0};  // before answering
        bool close_connection = false;       // answers with "Connection: close" and closes
        bool truncate = false;               // announces more body than it sends, then closes
        std::size_t announced_length = 0;    // with truncate: the length announced (0: 1000 more)
        bool chunked = false;                // sends the body chunked, its length not announced
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

private:
    struct state;  // the tables, the log and the server
    std::unique_ptr<state> m_state;
};

// A response with a status and a body.
http_test_server::response reply(int status, std::string body = {});

}  // namespace zentu::test_kit
