#include "support/sim_test_support.hpp"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/json.hpp"

namespace zentu::platform_sim::test {

Json::Value parse(const std::string& text) {
    auto parsed = libs::core::json::try_parse(text);
    if (!parsed.ok)
        throw std::runtime_error("not JSON: " + text);
    return parsed.result;
}

Json::Value read_json_file(const std::string& name) {
    std::ifstream file(name);
    std::stringstream text;
    text << file.rdbuf();
    return parse(text.str());
}

std::string to_text(const Json::Value& value) {
    return libs::core::json::to_string(value);
}

simulator::ptr start_simulator(const Json::Value& site, const std::string& requests_log) {
    options o;
    o.site_document = site;
    o.requests_log = requests_log;
    return simulator::create(o);
}

std::string base_url(const simulator& sim) {
    return "http://" + sim.http_address();
}

subscriber::subscriber(const std::string& endpoint) : m_socket(m_context, zmq::socket_type::sub) {
    m_socket.set(zmq::sockopt::linger, 0);
    m_socket.set(zmq::sockopt::subscribe, "");
    m_socket.connect(endpoint);
}

void subscriber::wait_connected(simulator& sim) {
    Json::Value probe(Json::objectValue);
    probe["raw"] = "#probe{}";
    for (int attempt = 0; attempt < 100; ++attempt) {
        sim.control().run("publish", probe);
        if (auto frame = receive(std::chrono::milliseconds(50))) {
            // Drain the probes still on their way.
            while (receive(std::chrono::milliseconds(50))) {
            }
            return;
        }
    }
    throw std::runtime_error("the subscriber never received a probe");
}

std::optional<std::string> subscriber::receive(std::chrono::milliseconds timeout) {
    zmq::pollitem_t item{static_cast<void*>(m_socket), 0, ZMQ_POLLIN, 0};
    if (zmq::poll(&item, 1, timeout) <= 0)
        return std::nullopt;
    zmq::message_t message;
    if (!m_socket.recv(message, zmq::recv_flags::dontwait))
        return std::nullopt;
    return message.to_string();
}

std::optional<std::string> subscriber::receive_topic(const std::string& wire_topic) {
    while (auto frame = receive()) {
        if (frame->rfind(wire_topic, 0) == 0)
            return frame;
    }
    return std::nullopt;
}

Json::Value frame_document(const std::string& frame) {
    const auto brace = frame.find('{');
    if (brace == std::string::npos)
        throw std::runtime_error("no document in " + frame);
    return parse(frame.substr(brace));
}

}  // namespace zentu::platform_sim::test
