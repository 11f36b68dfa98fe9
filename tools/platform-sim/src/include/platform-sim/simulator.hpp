#pragma once

#include <json/value.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "platform-sim/control_api.hpp"
#include "platform-sim/site.hpp"

namespace zentu::platform_sim {

struct options {
    Json::Value site_document{Json::objectValue};
    std::string http_address = "127.0.0.1:0";
    std::string pub_endpoint = "tcp://127.0.0.1:0";
    std::string requests_log;  // empty: no file
    bool allow_nonlocal = false;
    std::ostream* log = nullptr;  // null: silent
};

// The whole simulator, embeddable in tests and benchmarks. Construction binds
// both sockets and starts serving; destruction stops everything.
// Thread safe.
class simulator {
public:
    using ptr = std::unique_ptr<simulator>;
    // Throws request_error for a bad site or a non-loopback address without allow_nonlocal.
    static ptr create(const options& options);
    virtual ~simulator() = default;

    virtual std::string http_address() const = 0;  // "127.0.0.1:41234"
    virtual std::uint16_t http_port() const = 0;
    virtual std::string pub_endpoint() const = 0;  // "tcp://127.0.0.1:45678"
    virtual control_api& control() = 0;
    virtual site& get_site() = 0;
    // Runs [{"at_ms", "cmd", ...}] on a thread of its own, timed from now.
    virtual void run_scenario(const Json::Value& steps) = 0;
};

// Splits "host:port"; throws request_error for a malformed address.
std::pair<std::string, std::uint16_t> split_host_port(const std::string& address);
bool is_loopback_host(const std::string& host);
bool is_loopback_endpoint(const std::string& endpoint);

}  // namespace zentu::platform_sim
