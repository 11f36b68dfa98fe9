#pragma once

#include <json/value.h>

#include <mutex>
#include <ostream>
#include <stdexcept>
#include <string>

namespace zentu::platform_sim {

// A command or request the simulator refuses; carries the HTTP status to answer with.
class request_error : public std::runtime_error {
public:
    request_error(unsigned status, const std::string& reason)
        : std::runtime_error(reason), m_status(status) {}
    unsigned status() const noexcept { return m_status; }

private:
    unsigned m_status;
};

// One answer of the simulator's HTTP server.
struct http_reply {
    unsigned status = 200;
    std::string body;
    std::string content_type = "application/json";
};

http_reply json_reply(unsigned status, const Json::Value& body);
http_reply error_reply(unsigned status, const std::string& reason);

// Line log of what the simulator receives and sends. Thread safe; a null
// stream makes it silent (embedded use in tests).
class sim_log {
public:
    explicit sim_log(std::ostream* out) : m_out(out) {}
    void line(const std::string& text);
    bool enabled() const noexcept { return m_out != nullptr; }

private:
    std::mutex m_mutex;
    std::ostream* m_out;
};

}  // namespace zentu::platform_sim
