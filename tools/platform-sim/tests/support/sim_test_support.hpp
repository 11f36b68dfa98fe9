#pragma once

#include <json/value.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <zmq.hpp>

#include "platform-sim/simulator.hpp"

namespace zentu::platform_sim::test {

Json::Value parse(const std::string& text);
Json::Value read_json_file(const std::string& name);
std::string to_text(const Json::Value& value);

// A simulator on loopback ports chosen by the system.
simulator::ptr start_simulator(const Json::Value& site,
                               const std::string& requests_log = std::string());
std::string base_url(const simulator& sim);

// A real SUB socket connected to the simulator's PUB socket.
class subscriber {
public:
    explicit subscriber(const std::string& endpoint);
    // Publishes probes until one arrives, so no later message is lost to the
    // subscription handshake.
    void wait_connected(simulator& sim);
    std::optional<std::string> receive(std::chrono::milliseconds timeout = std::chrono::seconds(2));
    // Next frame of the given wire topic ("#notify"), skipping probes.
    std::optional<std::string> receive_topic(const std::string& wire_topic);

private:
    zmq::context_t m_context{1};
    zmq::socket_t m_socket;
};

// The JSON document of a frame: everything from the first "{".
Json::Value frame_document(const std::string& frame);

}  // namespace zentu::platform_sim::test
