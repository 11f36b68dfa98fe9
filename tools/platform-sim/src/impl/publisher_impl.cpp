#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>
#include <zmq.hpp>

#include "platform-sim/messages.hpp"
#include "platform-sim/publisher.hpp"

namespace zentu::platform_sim {
namespace {

// ZeroMQ binds an ephemeral tcp port for "*", not for 0.
std::string bindable(std::string endpoint) {
    const std::string localhost = "tcp://localhost:";
    if (endpoint.rfind(localhost, 0) == 0)
        endpoint = "tcp://127.0.0.1:" + endpoint.substr(localhost.size());
    if (endpoint.rfind("tcp://", 0) == 0 && endpoint.size() > 2 &&
        endpoint.compare(endpoint.size() - 2, 2, ":0") == 0)
        return endpoint.substr(0, endpoint.size() - 1) + "*";
    return endpoint;
}

class publisher_impl final : public publisher {
public:
    publisher_impl(const std::string& endpoint, sim_log& log) : m_log(log) {
        try {
            open(bindable(endpoint));
        } catch (const zmq::error_t& e) {
            throw request_error(400, "cannot bind " + endpoint + ": " + e.what());
        }
        m_endpoint = m_socket.get(zmq::sockopt::last_endpoint);
    }

    std::string endpoint() const override { return m_endpoint; }

    void publish(const std::string& topic, const Json::Value& document, bool quiet) override {
        const auto frame = make_frame(topic, document);
        send(frame);
        if (!quiet)
            m_log.line("-> " + frame);
    }

    void publish_raw(const std::string& frame) override {
        send(frame);
        m_log.line("-> (raw) " + frame);
    }

    std::uint64_t published() const override { return m_published; }

    void set_up(bool up) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        const bool open_now = m_socket.handle() != nullptr;
        if (up == open_now)
            return;
        if (!up) {
            m_socket.close();
            m_log.line("publisher down: " + m_endpoint);
            return;
        }
        // The old listener is closed by ZeroMQ's own thread: its port may
        // still be taken for a moment.
        for (int attempt = 0;; ++attempt) {
            try {
                open(m_endpoint);
                break;
            } catch (const zmq::error_t& e) {
                m_socket.close();
                if (e.num() != EADDRINUSE || attempt == 200)
                    throw request_error(500, "cannot bind " + m_endpoint + " again: " + e.what());
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        m_log.line("publisher up again: " + m_endpoint);
    }

    bool is_up() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_socket.handle() != nullptr;
    }

    std::uint64_t dropped() const override { return m_dropped; }

private:
    // Under m_mutex, or before the publisher is shared.
    void open(const std::string& endpoint) {
        m_socket = zmq::socket_t(m_context, zmq::socket_type::pub);
        m_socket.set(zmq::sockopt::linger, 0);
        // Load runs publish in bursts; the default 1000 frames would drop messages.
        m_socket.set(zmq::sockopt::sndhwm, 1000000);
        m_socket.bind(endpoint);
    }

    void send(const std::string& frame) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_socket.handle() == nullptr) {
            ++m_dropped;
            m_log.line("publisher down, lost: " + frame);
            return;
        }
        m_socket.send(zmq::buffer(frame), zmq::send_flags::none);
        ++m_published;
    }

    zmq::context_t m_context{1};
    zmq::socket_t m_socket;
    std::atomic<std::uint64_t> m_dropped{0};
    mutable std::mutex m_mutex;
    std::string m_endpoint;
    std::atomic<std::uint64_t> m_published{0};
    sim_log& m_log;
};

}  // namespace

publisher::ptr publisher::create(const std::string& endpoint, sim_log& log) {
    return std::make_unique<publisher_impl>(endpoint, log);
}

}  // namespace zentu::platform_sim
