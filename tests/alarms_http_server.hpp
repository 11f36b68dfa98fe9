#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zentu::test {

// The platform's alarms API on 127.0.0.1 and a system-chosen port: records
// every request body with its arrival time and answers with the next
// programmed status (200 once the list is used up). Serves on its own thread;
// the accessors may be called from any thread.
class alarms_http_server {
public:
    struct received {
        std::string target;
        std::string body;
        std::chrono::steady_clock::time_point at;
    };

    alarms_http_server() {
        namespace asio = boost::asio;
        const asio::ip::tcp::endpoint any_port(asio::ip::make_address("127.0.0.1"), 0);
        m_acceptor.open(any_port.protocol());
        m_acceptor.set_option(asio::socket_base::reuse_address(true));
        m_acceptor.bind(any_port);
        m_acceptor.listen();
        accept();
        m_thread = std::thread([this] { m_io.run(); });
    }
    ~alarms_http_server() {
        m_io.stop();
        m_thread.join();
    }
    alarms_http_server(const alarms_http_server&) = delete;
    alarms_http_server& operator=(const alarms_http_server&) = delete;

    std::string url() const {
        return "http://127.0.0.1:" + std::to_string(m_acceptor.local_endpoint().port());
    }
    void answer_next_with(std::vector<int> statuses) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_statuses.insert(m_statuses.end(), statuses.begin(), statuses.end());
    }
    std::vector<received> requests() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    std::size_t count() const { return requests().size(); }

private:
    struct session : std::enable_shared_from_this<session> {
        session(alarms_http_server& server, boost::asio::ip::tcp::socket socket)
            : m_server(server), m_socket(std::move(socket)) {}

        void read() {
            m_request = {};
            boost::beast::http::async_read(
                m_socket, m_buffer, m_request,
                [self = shared_from_this()](boost::beast::error_code ec, std::size_t) {
                    if (!ec)
                        self->respond();
                });
        }
        void respond() {
            const int status = m_server.record(std::string(m_request.target()), m_request.body());
            m_response = {};
            m_response.version(11);
            m_response.result(static_cast<unsigned>(status));
            m_response.body() = status == 200 ? "{}" : "refused";
            m_response.prepare_payload();
            boost::beast::http::async_write(
                m_socket, m_response,
                [self = shared_from_this()](boost::beast::error_code ec, std::size_t) {
                    if (!ec)
                        self->read();
                });
        }

        alarms_http_server& m_server;
        boost::asio::ip::tcp::socket m_socket;
        boost::beast::flat_buffer m_buffer;
        boost::beast::http::request<boost::beast::http::string_body> m_request;
        boost::beast::http::response<boost::beast::http::string_body> m_response;
    };

    void accept() {
        m_acceptor.async_accept(
            [this](boost::beast::error_code ec, boost::asio::ip::tcp::socket socket) {
                if (ec)
                    return;
                std::make_shared<session>(*this, std::move(socket))->read();
                accept();
            });
    }
    int record(std::string target, std::string body) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(
            {std::move(target), std::move(body), std::chrono::steady_clock::now()});
        if (m_statuses.empty())
            return 200;
        const int status = m_statuses.front();
        m_statuses.pop_front();
        return status;
    }

    boost::asio::io_context m_io;
    boost::asio::ip::tcp::acceptor m_acceptor{m_io};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::deque<int> m_statuses;
    std::vector<received> m_requests;
};

}  // namespace zentu::test
