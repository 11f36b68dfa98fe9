#include <atomic>
#include <mutex>
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
    publisher_impl(const std::string& endpoint, sim_log& log)
        : m_socket(m_context, zmq::socket_type::pub), m_log(log) {
        m_socket.set(zmq::sockopt::linger, 0);
        // Load runs publish in bursts; the default 1000 frames would drop messages.
        m_socket.set(zmq::sockopt::sndhwm, 1000000);
        try {
            m_socket.bind(bindable(endpoint));
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

private:
    void send(const std::string& frame) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_socket.send(zmq::buffer(frame), zmq::send_flags::none);
        ++m_published;
    }

    zmq::context_t m_context{1};
    zmq::socket_t m_socket;
    std::mutex m_mutex;
    std::string m_endpoint;
    std::atomic<std::uint64_t> m_published{0};
    sim_log& m_log;
};

}  // namespace

publisher::ptr publisher::create(const std::string& endpoint, sim_log& log) {
    return std::make_unique<publisher_impl>(endpoint, log);
}

}  // namespace zentu::platform_sim
