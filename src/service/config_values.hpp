#pragma once

#include <string>

// Checks of configuration values that have the right JSON type but may still
// be unusable. Each returns an empty text when the value is fine and
// otherwise what is wrong with it, worded for an operator. Pure functions,
// but for file_problem, which reads the file it is given.
namespace zentu::config_values {

// 1-65535.
bool is_port(long long value);

// "host" or "host:port" ("[v6 address]:port" for IPv6). With port_required the
// port must be there; with zero_port_allowed 0 asks for any free port.
std::string host_port_problem(const std::string& text, bool port_required, bool zero_port_allowed);

// A ZeroMQ endpoint to connect to: "tcp://host:port", "ipc://path" or "inproc://name".
std::string zmq_endpoint_problem(const std::string& text);

// A file this process can read and that is not empty: "cannot read: " and the
// system's reason, or "the file is empty".
std::string file_problem(const std::string& path);

}  // namespace zentu::config_values
