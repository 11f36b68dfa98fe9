#include "test_kit/loopback_http_server.hpp"

#include <atomic>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http.hpp>
#include <cctype>
#include <exception>
#include <optional>
#include <thread>

namespace zentu::test_kit {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using tcp = asio::ip::tcp;
using error_code = boost::system::error_code;

struct loopback_http_server::state {
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work = asio::make_work_guard(io);
    tcp::acceptor acceptor{io};
    tcp::endpoint bound;
    handler on_request;
    std::function<void(const std::string&)> on_handler_error;
    std::atomic<std::size_t> connections{0};
    std::thread thread;

    void accept();

    // Runs user code on the server's thread; false when it threw.
    template <typename Call>
    bool guarded(Call&& call) {
        try {
            call();
            return true;
        } catch (const std::exception& e) {
            report(e.what());
        } catch (...) {
            report("unknown exception");
        }
        return false;
    }

    void report(const std::string& what) {
        if (on_handler_error)
            on_handler_error(what);
    }
};

namespace {

constexpr std::uint64_t body_limit = 64 * 1024 * 1024;
using request_parser = bhttp::request_parser<bhttp::string_body>;
using continuation = std::function<void(const http_exchange::ptr&)>;

std::string to_lower(beast::string_view text) {
    std::string lower(text.data(), text.size());
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

class exchange;

// One accepted connection; its requests are read and answered one after the
// other. Lives as long as an operation on it is pending or an exchange holds it.
class connection : public std::enable_shared_from_this<connection> {
public:
    connection(tcp::socket socket, loopback_http_server::state& server, std::size_t id)
        : m_socket(std::move(socket)),
          m_timer(m_socket.get_executor()),
          m_server(server),
          m_id(id) {}

    asio::any_io_executor executor() { return m_socket.get_executor(); }

    void read_header() {
        m_parser.emplace();
        m_parser->body_limit(body_limit);
        bhttp::async_read_header(m_socket, m_buffer, *m_parser,
                                 [self = shared_from_this()](error_code ec, std::size_t) {
                                     if (ec)
                                         return self->close();
                                     self->on_header();
                                 });
    }

    void read_body(const std::shared_ptr<exchange>& ex, continuation next);
    void after(std::chrono::milliseconds delay, std::function<void()> task) {
        m_timer.expires_after(delay);
        m_timer.async_wait([self = shared_from_this(), task = std::move(task)](error_code ec) {
            if (!ec && !self->m_server.guarded(task))
                self->close();
        });
    }
    void write(const http_request& request, http_response response);

    void close() {
        error_code ignored;
        m_timer.cancel();
        m_socket.shutdown(tcp::socket::shutdown_both, ignored);
        m_socket.close(ignored);
    }

    void reset() {
        error_code ignored;
        m_timer.cancel();
        m_socket.set_option(asio::socket_base::linger(true, 0), ignored);
        m_socket.close(ignored);
    }

private:
    void on_header();
    void read_rest(const std::shared_ptr<exchange>& ex, continuation next);
    void write_truncated(const http_response& response);

    tcp::socket m_socket;
    asio::steady_timer m_timer;
    loopback_http_server::state& m_server;
    const std::size_t m_id;
    beast::flat_buffer m_buffer;
    std::optional<request_parser> m_parser;
    std::string m_raw;
};

// Every member hops to the server's thread; once answered, the exchange
// ignores further calls, so a late one cannot touch the connection's next
// request.
class exchange final : public http_exchange, public std::enable_shared_from_this<exchange> {
public:
    exchange(std::shared_ptr<connection> owner, http_request request)
        : m_connection(std::move(owner)), m_request(std::move(request)) {}

    const http_request& request() const override { return m_request; }
    http_request& request_to_complete() { return m_request; }

    void read_body(continuation next) override {
        on_server_thread([next = std::move(next)](exchange& self) mutable {
            self.m_connection->read_body(self.shared_from_this(), std::move(next));
        });
    }
    void after(std::chrono::milliseconds delay, std::function<void()> task) override {
        on_server_thread([delay, task = std::move(task)](exchange& self) mutable {
            self.m_connection->after(delay, std::move(task));
        });
    }
    void respond(http_response response) override {
        on_server_thread([response = std::move(response)](exchange& self) mutable {
            self.m_answered = true;
            self.m_connection->write(self.m_request, std::move(response));
        });
    }
    void close() override {
        on_server_thread([](exchange& self) {
            self.m_answered = true;
            self.m_connection->close();
        });
    }
    void reset() override {
        on_server_thread([](exchange& self) {
            self.m_answered = true;
            self.m_connection->reset();
        });
    }

private:
    template <typename Work>
    void on_server_thread(Work&& work) {
        asio::dispatch(m_connection->executor(),
                       [self = shared_from_this(), work = std::forward<Work>(work)]() mutable {
                           if (!self->m_answered)
                               work(*self);
                       });
    }

    std::shared_ptr<connection> m_connection;
    http_request m_request;
    bool m_answered = false;  // server's thread only
};

void connection::on_header() {
    const auto& head = m_parser->get();
    http_request request;
    request.method = std::string(head.method_string());
    request.target = std::string(head.target());
    for (const auto& field : head)
        request.headers[to_lower(field.name_string())] = std::string(field.value());
    request.version = head.version();
    request.keep_alive = head.keep_alive();
    request.connection = m_id;
    request.at = std::chrono::steady_clock::now();
    const auto ex = std::make_shared<exchange>(shared_from_this(), std::move(request));
    if (!m_server.guarded([&] { m_server.on_request(ex); }))
        close();
}

// libcurl waits a second for "100 Continue" before it sends a larger body.
void connection::read_body(const std::shared_ptr<exchange>& ex, continuation next) {
    const auto& head = m_parser->get();
    if (!beast::iequals(head[bhttp::field::expect], "100-continue"))
        return read_rest(ex, std::move(next));
    auto interim = std::make_shared<bhttp::response<bhttp::empty_body>>(bhttp::status::continue_,
                                                                        head.version());
    bhttp::async_write(m_socket, *interim,
                       [self = shared_from_this(), interim, ex, next = std::move(next)](
                           error_code ec, std::size_t) mutable {
                           if (ec)
                               return self->close();
                           self->read_rest(ex, std::move(next));
                       });
}

void connection::read_rest(const std::shared_ptr<exchange>& ex, continuation next) {
    bhttp::async_read(
        m_socket, m_buffer, *m_parser,
        [self = shared_from_this(), ex, next = std::move(next)](error_code ec, std::size_t) {
            if (ec)
                return self->close();
            ex->request_to_complete().body = std::move(self->m_parser->get().body());
            ex->request_to_complete().at = std::chrono::steady_clock::now();
            if (!self->m_server.guarded([&] { next(ex); }))
                self->close();
        });
}

void connection::write(const http_request& request, http_response response) {
    if (response.truncate)
        return write_truncated(response);
    auto reply = std::make_shared<bhttp::response<bhttp::string_body>>();
    reply->version(request.version);
    reply->result(static_cast<unsigned>(response.status));
    for (const auto& [name, value] : response.headers)
        reply->set(name, value);
    reply->body() = std::move(response.body);
    // An unread body would be taken for the next request's header.
    reply->keep_alive(request.keep_alive && !response.close_connection && m_parser->is_done());
    if (response.chunked)
        reply->chunked(true);
    else
        reply->prepare_payload();
    bhttp::async_write(m_socket, *reply,
                       [self = shared_from_this(), reply](error_code ec, std::size_t) {
                           if (ec || !reply->keep_alive())
                               return self->close();
                           self->read_header();
                       });
}

void connection::write_truncated(const http_response& response) {
    const std::size_t announced =
        response.announced_length != 0 ? response.announced_length : response.body.size() + 1000;
    m_raw = "HTTP/1.1 " + std::to_string(response.status) +
            " X\r\nContent-Length: " + std::to_string(announced) + "\r\n\r\n" + response.body;
    asio::async_write(m_socket, asio::buffer(m_raw),
                      [self = shared_from_this()](error_code, std::size_t) { self->close(); });
}

}  // namespace

void loopback_http_server::state::accept() {
    acceptor.async_accept([this](error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted)
            return;
        if (!ec)
            std::make_shared<connection>(std::move(socket), *this, ++connections)->read_header();
        accept();
    });
}

loopback_http_server::loopback_http_server(handler on_request)
    : loopback_http_server(std::move(on_request), options()) {}

loopback_http_server::loopback_http_server(handler on_request, options o)
    : m_state(std::make_unique<state>()) {
    m_state->on_request = std::move(on_request);
    m_state->on_handler_error = std::move(o.on_handler_error);
    const tcp::endpoint endpoint(asio::ip::make_address(o.address), o.port);
    auto& acceptor = m_state->acceptor;
    acceptor.open(endpoint.protocol());
    acceptor.set_option(asio::socket_base::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen();
    m_state->bound = acceptor.local_endpoint();
    m_state->accept();
    m_state->thread = std::thread([s = m_state.get()] { s->io.run(); });
}

loopback_http_server::~loopback_http_server() {
    stop();
}

void loopback_http_server::stop() {
    if (!m_state->thread.joinable())
        return;
    m_state->work.reset();
    m_state->io.stop();
    m_state->thread.join();
}

void loopback_http_server::post(std::function<void()> task) {
    asio::post(m_state->io, std::move(task));
}

std::uint16_t loopback_http_server::port() const {
    return m_state->bound.port();
}

std::string loopback_http_server::address() const {
    return m_state->bound.address().to_string();
}

std::string loopback_http_server::url() const {
    return "http://" + address() + ":" + std::to_string(port());
}

std::size_t loopback_http_server::connection_count() const {
    return m_state->connections;
}

}  // namespace zentu::test_kit
