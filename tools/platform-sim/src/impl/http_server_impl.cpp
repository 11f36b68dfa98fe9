#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <optional>
#include <thread>
#include <vector>

#include "platform-sim/http_server.hpp"

namespace zentu::platform_sim {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = beast::http;
using tcp = asio::ip::tcp;
using error_code = boost::system::error_code;

struct handlers {
    platform_api& platform;
    control_api& control;
    platform_sim::faults& faults;
    platform_sim::journal& journal;
    sim_log& log;
};

class session;

constexpr std::uint64_t body_limit = 64 * 1024 * 1024;

// Everything the io_context thread touches. Sessions and pending handlers
// refer to it plainly: they live inside its io_context and die with it.
// Callbacks from other threads hold only a weak pointer.
struct server_state {
    explicit server_state(const handlers& h) : handlers(h) {}
    asio::io_context io;
    tcp::acceptor acceptor{io};
    platform_sim::handlers handlers;
    // Requests held back while the platform "hangs"; io thread only.
    std::vector<std::shared_ptr<session>> parked;
};

class session : public std::enable_shared_from_this<session> {
public:
    session(tcp::socket socket, server_state& state)
        : m_stream(std::move(socket)), m_timer(state.io), m_state(state) {}

    void read() {
        m_parser.emplace();
        m_parser->body_limit(body_limit);
        bhttp::async_read_header(m_stream, m_buffer, *m_parser,
                                 [self = shared_from_this()](error_code ec, std::size_t) {
                                     if (ec)
                                         return self->close();
                                     self->continue_if_expected();
                                 });
    }

    void dispatch() {
        const std::string target(m_request.target());
        const auto question = target.find('?');
        auto path = target.substr(0, question);
        const auto query = question == std::string::npos ? "" : target.substr(question + 1);
        const std::string method(m_request.method_string());
        auto& h = m_state.handlers;
        try {
            if (path.rfind("/sim/", 0) == 0)
                return write(h.control.handle(method, path, query, m_request.body()));
            if (path.rfind("/api/", 0) == 0 && path.back() != '/')
                path += '/';
            const auto decision = h.faults.next(path);
            if (decision.hang) {
                h.log.line("hanging " + method + " " + path);
                m_state.parked.push_back(shared_from_this());
                return;
            }
            if (decision.close) {
                h.journal.record({method, path, m_request.body(), 0, "closed", std::nullopt});
                h.log.line("closing without answer: " + method + " " + path);
                return close();
            }
            if (decision.delay.count() == 0)
                return answer(decision, method, path);
            m_timer.expires_after(decision.delay);
            m_timer.async_wait([self = shared_from_this(), decision, method, path](error_code ec) {
                if (!ec)
                    self->answer(decision, method, path);
            });
        } catch (const std::exception& e) {
            write(error_reply(500, std::string("simulator failure: ") + e.what()));
        }
    }

private:
    // libcurl waits a second for "100 Continue" before sending a larger body.
    void continue_if_expected() {
        const auto expect = m_parser->get()[bhttp::field::expect];
        if (!beast::iequals(expect, "100-continue"))
            return read_body();
        auto interim = std::make_shared<bhttp::response<bhttp::empty_body>>(
            bhttp::status::continue_, m_parser->get().version());
        bhttp::async_write(m_stream, *interim,
                           [self = shared_from_this(), interim](error_code ec, std::size_t) {
                               if (ec)
                                   return self->close();
                               self->read_body();
                           });
    }

    void read_body() {
        bhttp::async_read(m_stream, m_buffer, *m_parser,
                          [self = shared_from_this()](error_code ec, std::size_t) {
                              if (ec)
                                  return self->close();
                              self->m_request = self->m_parser->release();
                              self->dispatch();
                          });
    }

    void answer(const fault_decision& decision, const std::string& method,
                const std::string& path) {
        auto& h = m_state.handlers;
        if (!decision.status) {
            http_reply reply;
            try {
                reply = h.platform.handle(method, path, m_request.body());
            } catch (const std::exception& e) {
                reply = error_reply(500, std::string("simulator failure: ") + e.what());
            }
            if (decision.late.count() == 0)
                return write(reply);
            h.log.line("answering " + method + " " + path + " late");
            m_timer.expires_after(decision.late);
            m_timer.async_wait([self = shared_from_this(), reply](error_code ec) {
                if (!ec)
                    self->write(reply);
            });
            return;
        }
        h.journal.record(
            {method, path, m_request.body(), *decision.status, "injected", std::nullopt});
        h.log.line("injected " + std::to_string(*decision.status) + " for " + method + " " + path);
        write(decision.body.empty() ? error_reply(*decision.status, "injected failure")
                                    : http_reply{*decision.status, decision.body});
    }

    void write(const http_reply& reply) {
        auto response = std::make_shared<bhttp::response<bhttp::string_body>>(
            static_cast<bhttp::status>(reply.status), m_request.version());
        response->set(bhttp::field::server, "marovane-platform-sim");
        response->set(bhttp::field::content_type, reply.content_type);
        response->keep_alive(m_request.keep_alive());
        response->body() = reply.body;
        response->prepare_payload();
        bhttp::async_write(m_stream, *response,
                           [self = shared_from_this(), response](error_code ec, std::size_t) {
                               if (ec || !response->keep_alive())
                                   return self->close();
                               self->read();
                           });
    }

    void close() {
        error_code ignored;
        m_stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        m_stream.socket().close(ignored);
    }

    beast::tcp_stream m_stream;
    beast::flat_buffer m_buffer;
    std::optional<bhttp::request_parser<bhttp::string_body>> m_parser;
    bhttp::request<bhttp::string_body> m_request;
    asio::steady_timer m_timer;
    server_state& m_state;
};

void accept(server_state& state) {
    state.acceptor.async_accept([&state](error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted)
            return;
        if (!ec)
            std::make_shared<session>(std::move(socket), state)->read();
        accept(state);
    });
}

class http_server_impl final : public http_server {
public:
    http_server_impl(const std::string& host, std::uint16_t port, const handlers& h)
        : m_state(std::make_shared<server_state>(h)), m_work(asio::make_work_guard(m_state->io)) {
        const auto address = asio::ip::make_address(host == "localhost" ? "127.0.0.1" : host);
        const tcp::endpoint endpoint(address, port);
        auto& acceptor = m_state->acceptor;
        try {
            acceptor.open(endpoint.protocol());
            acceptor.set_option(tcp::acceptor::reuse_address(true));
            acceptor.bind(endpoint);
            acceptor.listen();
        } catch (const boost::system::system_error& e) {
            throw request_error(
                400, "cannot listen on " + host + ":" + std::to_string(port) + ": " + e.what());
        }
        m_endpoint = acceptor.local_endpoint();
        std::weak_ptr<server_state> weak = m_state;
        h.faults.on_resume([weak] {
            auto state = weak.lock();
            if (!state)
                return;
            asio::post(state->io, [raw = state.get()] {
                auto parked = std::move(raw->parked);
                raw->parked.clear();
                for (auto& s : parked)
                    s->dispatch();
            });
        });
        accept(*m_state);
        m_thread = std::thread([state = m_state] {
            // A handler that throws must not take the server down with it.
            for (;;) {
                try {
                    state->io.run();
                    return;
                } catch (const std::exception& e) {
                    state->handlers.log.line(std::string("http server: ") + e.what());
                }
            }
        });
    }

    ~http_server_impl() override {
        m_work.reset();
        m_state->io.stop();
        if (m_thread.joinable())
            m_thread.join();
        m_state->parked.clear();
    }

    std::uint16_t port() const override { return m_endpoint.port(); }
    std::string host() const override { return m_endpoint.address().to_string(); }

private:
    std::shared_ptr<server_state> m_state;
    asio::executor_work_guard<asio::io_context::executor_type> m_work;
    tcp::endpoint m_endpoint;
    std::thread m_thread;
};

}  // namespace

http_server::ptr http_server::create(const std::string& host, std::uint16_t port,
                                     platform_api& platform, control_api& control, faults& faults,
                                     journal& journal, sim_log& log) {
    return std::make_unique<http_server_impl>(host, port,
                                              handlers{platform, control, faults, journal, log});
}

}  // namespace zentu::platform_sim
