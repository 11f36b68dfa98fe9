#pragma once

#include <istream>
#include <string>

namespace zentu {

// The service's settings, read once at start. Plain record; not changed after
// construction.
class config {
public:
    struct system_config {
        std::string pidfile_path;
        std::string debug_port;
        bool local_debug = false;
    };

    system_config system;
    std::string proxy_output;
    std::string server_url;
    int server_timeout = 0;
    std::string redis_host;
    int redis_port = 0;
    std::string redis_password;
    bool modify_server_state = true;

    // Throws std::runtime_error on malformed JSON and libs::core::exception
    // naming every missing or mistyped field, one per line.
    explicit config(std::istream& stream);
};

}  // namespace zentu
