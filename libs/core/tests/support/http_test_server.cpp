#include "http_test_server.hpp"

#include <deque>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <cctype>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace zentu::test_support {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr std::uint64_t body_limit = 64 * 1024 * 1024;
using request_parser = bhttp::request_parser<bhttp::string_body>;

std::string to_lower(beast::string_view text) {
    std::string lower(text.data(), text.size());
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

}  // namespace

struct http_test_server::state {
    asio::io_context io;
    tcp::acceptor acceptor{io};
    std::thread thread;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::map<std::string, response> responses;
    std::map<std::string, std::deque<response>> queued;
    response default_response{404, "", {}, {}, false, false, false};
    std::vector<recorded_request> requests;
    std::size_t connections = 0;
    std::size_t in_flight = 0;
    std::size_t max_in_flight = 0;

    void accept();

    response lookup(const std::string& target) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (auto q = queued.find(target); q != queued.end() && !q->second.empty()) {
            response next = std::move(q->second.front());
            q->second.pop_front();
            return next;
        }
        const auto it = responses.find(target);
        return it == responses.end() ? default_response : it->second;
    }

    void record(recorded_request request, bool awaits_answer) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            requests.push_back(std::move(request));
            if (awaits_answer)
                max_in_flight = std::max(max_in_flight, ++in_flight);
        }
        changed.notify_all();
    }

    void answered() {
        const std::lock_guard<std::mutex> lock(mutex);
        --in_flight;
    }
};

namespace {

// One accepted connection; answers its requests one after the other.
class session : public std::enable_shared_from_this<session> {
public:
    session(tcp::socket socket, http_test_server::state& server, std::size_t id)
        : m_socket(std::move(socket)),
          m_timer(m_socket.get_executor()),
          m_server(server),
          m_id(id) {}

    void read_header() {
        m_parser.emplace();
        m_parser->body_limit(body_limit);
        bhttp::async_read_header(m_socket, m_buffer, *m_parser,
                                 [self = shared_from_this()](beast::error_code ec, std::size_t) {
                                     self->on_header(ec);
                                 });
    }

private:
    void on_header(beast::error_code ec) {
        if (ec)
            return close();
        const auto& request = m_parser->get();
        m_response = m_server.lookup(std::string(request.target()));
        if (m_response.reset_after_headers) {
            m_server.record(make_record(), false);
            beast::error_code ignored;
            m_socket.set_option(asio::socket_base::linger(true, 0), ignored);
            m_socket.close(ignored);
            return;
        }
        bhttp::async_read(m_socket, m_buffer, *m_parser,
                          [self = shared_from_this()](beast::error_code ec, std::size_t) {
                              self->on_request(ec);
                          });
    }

    void on_request(beast::error_code ec) {
        if (ec)
            return close();
        m_server.record(make_record(), true);
        if (m_response.delay.count() <= 0)
            return respond();
        m_timer.expires_after(m_response.delay);
        m_timer.async_wait([self = shared_from_this()](beast::error_code ec) {
            if (!ec)
                self->respond();
        });
    }

    void respond() {
        if (m_response.truncate) {
            m_raw = "HTTP/1.1 " + std::to_string(m_response.status) +
                    " X\r\nContent-Length: " + std::to_string(m_response.body.size() + 1000) +
                    "\r\n\r\n" + m_response.body;
            asio::async_write(m_socket, asio::buffer(m_raw),
                              [self = shared_from_this()](beast::error_code, std::size_t) {
                                  self->m_server.answered();
                                  self->close();
                              });
            return;
        }
        m_reply = {};
        m_reply.version(11);
        m_reply.result(static_cast<unsigned>(m_response.status));
        for (const auto& [name, value] : m_response.headers)
            m_reply.set(name, value);
        m_reply.body() = m_response.body;
        m_reply.keep_alive(m_parser->get().keep_alive() && !m_response.close_connection);
        m_reply.prepare_payload();
        bhttp::async_write(m_socket, m_reply,
                           [self = shared_from_this()](beast::error_code ec, std::size_t) {
                               self->m_server.answered();
                               if (ec || !self->m_reply.keep_alive())
                                   return self->close();
                               self->read_header();
                           });
    }

    http_test_server::recorded_request make_record() const {
        const auto& request = m_parser->get();
        http_test_server::recorded_request record;
        record.method = std::string(request.method_string());
        record.target = std::string(request.target());
        for (const auto& field : request)
            record.headers[to_lower(field.name_string())] = std::string(field.value());
        if (m_parser->is_done())
            record.body = request.body();
        record.connection = m_id;
        record.at = std::chrono::steady_clock::now();
        return record;
    }

    void close() {
        beast::error_code ignored;
        m_socket.shutdown(tcp::socket::shutdown_both, ignored);
        m_socket.close(ignored);
    }

    tcp::socket m_socket;
    asio::steady_timer m_timer;
    http_test_server::state& m_server;
    const std::size_t m_id;
    beast::flat_buffer m_buffer;
    std::optional<request_parser> m_parser;
    http_test_server::response m_response;
    bhttp::response<bhttp::string_body> m_reply;
    std::string m_raw;
};

}  // namespace

void http_test_server::state::accept() {
    acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted)
            return;
        if (!ec) {
            std::size_t id;
            {
                const std::lock_guard<std::mutex> lock(mutex);
                id = ++connections;
            }
            std::make_shared<session>(std::move(socket), *this, id)->read_header();
        }
        accept();
    });
}

http_test_server::http_test_server() : m_state(std::make_unique<state>()) {
    const tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"), 0);
    m_state->acceptor.open(endpoint.protocol());
    m_state->acceptor.set_option(asio::socket_base::reuse_address(true));
    m_state->acceptor.bind(endpoint);
    m_state->acceptor.listen();
    m_state->accept();
    m_state->thread = std::thread([s = m_state.get()] { s->io.run(); });
}

http_test_server::~http_test_server() {
    m_state->io.stop();
    m_state->thread.join();
}

std::uint16_t http_test_server::port() const {
    return m_state->acceptor.local_endpoint().port();
}

std::string http_test_server::url() const {
    return "http://127.0.0.1:" + std::to_string(port());
}

void http_test_server::set_response(const std::string& target, response r) {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->responses[target] = std::move(r);
}

void http_test_server::queue_responses(const std::string& target, std::vector<response> responses) {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    auto& queue = m_state->queued[target];
    for (auto& r : responses)
        queue.push_back(std::move(r));
}

void http_test_server::set_default_response(response r) {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->default_response = std::move(r);
}

void http_test_server::set_redirect(const std::string& target, const std::string& location,
                                    int status) {
    response r;
    r.status = status;
    r.headers.emplace_back("Location", location);
    set_response(target, std::move(r));
}

std::vector<http_test_server::recorded_request> http_test_server::requests() const {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->requests;
}

std::size_t http_test_server::request_count() const {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->requests.size();
}

bool http_test_server::wait_for_requests(std::size_t count,
                                         std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    return m_state->changed.wait_for(lock, timeout,
                                     [&] { return m_state->requests.size() >= count; });
}

std::size_t http_test_server::connection_count() const {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->connections;
}

std::size_t http_test_server::max_concurrent_requests() const {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->max_in_flight;
}

}  // namespace zentu::test_support
