#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zentu::test_kit {

struct http_request {
    std::string method;
    std::string target;                          // path and query, as sent
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;                            // empty until http_exchange::read_body
    unsigned version = 11;
    bool keep_alive = true;
    std::size_t connection = 0;                // accepted connections are numbered from 1
    std::chrono::steady_clock::time_point at;  // when the header, then the body, was read
};

struct http_response {
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool close_connection = false;     // answers with "Connection: close" and closes
    bool truncate = false;             // announces more body than it sends, then closes
    std::size_t announced_length = 0;  // with truncate: the length announced (0: 1000 more)
    bool chunked = false;              // sends the body chunked, its length not announced
};

// One request on its connection, from its header until its answer. The server
// hands it to the handler once the header is read; the handler reads the body
// or not, then answers it once: now, later or from another thread. Calls after
// the answer are ignored. Every member may be called from any thread; the
// work itself runs on the server's thread. An exchange must not outlive its
// server.
class http_exchange {
public:
    using ptr = std::shared_ptr<http_exchange>;
    virtual ~http_exchange() = default;

    // Complete only inside read_body's continuation and after.
    virtual const http_request& request() const = 0;
    // Reads the body, answering "100 Continue" first when the client waits for
    // it, then calls next on the server's thread. A client gone meanwhile
    // closes the connection and next is not called.
    virtual void read_body(std::function<void(const ptr&)> next) = 0;
    // Calls task on the server's thread after delay, unless the connection
    // closed meanwhile.
    virtual void after(std::chrono::milliseconds delay, std::function<void()> task) = 0;
    virtual void respond(http_response response) = 0;
    // No answer: closes the connection.
    virtual void close() = 0;
    // No answer: resets the connection (RST), even with a body still unread.
    virtual void reset() = 0;
};

// An HTTP/1.1 server (Boost.Beast) on a loopback address, serving on a thread
// of its own: the handler and every continuation run on that thread, one at a
// time, in the order the connections make them ready. Construction binds and
// starts serving; stop() or destruction stops the thread, after which no
// handler runs. The test server and the platform simulator both serve with it.
class loopback_http_server {
public:
    using handler = std::function<void(const http_exchange::ptr&)>;

    struct options {
        std::string address = "127.0.0.1";
        std::uint16_t port = 0;  // 0: chosen by the system
        // Told what a throwing handler threw; its connection is closed.
        std::function<void(const std::string&)> on_handler_error;
    };

    // Throws boost::system::system_error when the address cannot be bound.
    explicit loopback_http_server(handler on_request);
    loopback_http_server(handler on_request, options o);
    ~loopback_http_server();
    loopback_http_server(const loopback_http_server&) = delete;
    loopback_http_server& operator=(const loopback_http_server&) = delete;

    // Idempotent. Exchanges still held may be dropped afterwards.
    void stop();
    // Runs task on the server's thread.
    void post(std::function<void()> task);

    std::uint16_t port() const;
    std::string address() const;
    // "http://<address>:<port>", without a trailing slash.
    std::string url() const;
    std::size_t connection_count() const;

    struct state;  // the server's internals, defined in the .cpp

private:
    std::unique_ptr<state> m_state;
};

}  // namespace zentu::test_kit
