#pragma once

#include <chrono>
#include <istream>
#include <string>
#include <vector>

namespace zentu {
namespace libs::config {
class config;
}

// The service's settings, read once at start. Plain record; not changed after
// construction.
class config {
public:
    static constexpr std::chrono::seconds default_rebuild_period{600};
    static constexpr std::chrono::seconds default_redis_startup_wait{10};

    struct system_config {
        std::string pidfile_path;
        std::string debug_port;
        bool local_debug = false;
        // Period of the full rebuild from the platform (optional, at least 1 s).
        std::chrono::seconds rebuild_period = default_rebuild_period;
    };

    struct metrics_config {
        // "host:port" of the metrics and health endpoint; empty when it is off.
        std::string listen;
        // /healthz turns red once an alarm has waited this long for the
        // platform's confirmation (optional, at least 1 s).
        std::chrono::seconds undelivered_after{60};
    };

    system_config system;
    std::string proxy_output;
    std::string server_url;
    int server_timeout = 0;
    // CA bundle for the platform's certificate (optional); empty: the system's
    // trust store.
    std::string server_ca_file;
    std::string redis_host;
    int redis_port = 0;
    std::string redis_password;
    // How long the start waits for Redis before it goes on with the mirror
    // suspended (optional, 0: a single attempt).
    std::chrono::seconds redis_startup_wait = default_redis_startup_wait;
    bool modify_server_state = true;
    metrics_config metrics;

    // Values read with the right JSON type that still cannot work as meant
    // (a port out of 1-65535, a time-out not above 0, an unknown protocol, an
    // endpoint that does not parse, a mistyped optional switch, a CA file that
    // cannot be read: it may become readable while the service runs). The service
    // starts with them as written and logs each one; the check mode refuses them.
    std::vector<std::string> warnings;

    // Throws std::runtime_error on malformed JSON and libs::core::exception
    // naming every missing or mistyped field, one per line.
    explicit config(std::istream& stream);

    // Reads the file at path. A file that cannot be read or is empty throws
    // std::runtime_error "Cannot parse json: " naming the path and the system
    // error; otherwise as the stream constructor.
    static config from_file(const std::string& path);

    // Every problem of the file at once, one line each, fit for an operator:
    // unreadable file, malformed JSON, missing or mistyped fields (path,
    // expected and found JSON type) and the warnings above. Empty when the
    // file is fine. Touches nothing but the file and the CA file it names.
    static std::vector<std::string> check_file(const std::string& path);

private:
    config() = default;
    // Fills every field it can and the warnings. Returns the joined reasons
    // of the fields that make the file invalid (empty when there are none);
    // adds one operator line per such field to problems.
    std::string read(const libs::config::config& document, std::vector<std::string>& problems);
};

}  // namespace zentu
