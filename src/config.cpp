#include "config.hpp"

#include <tuple>

#include "config/config.hpp"
#include "core/exception.hpp"

namespace zentu {

config::config(std::istream& stream) {
    using libs::config::type;
    const auto document = libs::config::config::create<type::json>(stream);

    const auto pidfile = document->get_by_path<std::string>({"system", "pidfile"});
    const auto debug_port = document->get_by_path<std::string>({"system", "debug_port"});
    const auto local_debug = document->get_by_path<bool>({"system", "local_debug"});
    const auto proxy_address = document->get_by_path<std::string>({"proxy", "address"});
    const auto proxy_port = document->get_by_path<int>({"proxy", "output_port"});
    const auto server_protocol = document->get_by_path<std::string>({"server", "protocol"});
    const auto server_address = document->get_by_path<std::string>({"server", "address"});
    const auto server_timeout_field = document->get_by_path<int>({"server", "timeout"});
    const auto redis_host_field = document->get_by_path<std::string>({"redis", "host"});
    const auto redis_port_field = document->get_by_path<int>({"redis", "port"});
    const auto redis_password_field = document->get_by_path<std::string>({"redis", "password"});
    const auto modify_state = document->get_by_path<bool>({"debug", "modify_server_state"});

    // Optional: anything but a boolean there keeps the default.
    modify_server_state = modify_state.try_get().value_or(true);

    const auto joined = pidfile + debug_port + local_debug + proxy_address + proxy_port +
                        server_protocol + server_address + server_timeout_field + redis_host_field +
                        redis_port_field + redis_password_field;
    if (!joined.ok())
        ZENTU_THROW("Config file is invalid: " + joined.reason());

    std::string address, protocol, host;
    int port = 0;
    std::tie(system.pidfile_path, system.debug_port, system.local_debug, address, port, protocol,
             host, server_timeout, redis_host, redis_port, redis_password) = joined.value();
    proxy_output = "tcp://" + address + ":" + std::to_string(port);
    server_url = protocol + "://" + host;
}

}  // namespace zentu
