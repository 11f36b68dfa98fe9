#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform-sim/control_api.hpp"
#include "platform-sim/faults.hpp"
#include "platform-sim/journal.hpp"
#include "platform-sim/platform_api.hpp"

namespace zentu::platform_sim {

// HTTP/1.1 server (Boost.Beast) on its own io_context thread. Platform paths
// pass through the fault injector; "/sim/" paths never do.
// Construction binds and starts serving; destruction stops the thread.
class http_server {
public:
    using ptr = std::unique_ptr<http_server>;
    static ptr create(const std::string& host, std::uint16_t port, platform_api& platform,
                      control_api& control, faults& faults, journal& journal, sim_log& log);
    virtual ~http_server() = default;

    virtual std::uint16_t port() const = 0;
    virtual std::string host() const = 0;
};

}  // namespace zentu::platform_sim
