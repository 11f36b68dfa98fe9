#include "platform-sim/common.hpp"

#include "core/json.hpp"
#include "core/timestamp.hpp"

namespace zentu::platform_sim {

http_reply json_reply(unsigned status, const Json::Value& body) {
    return http_reply{status, libs::core::json::to_string(body) + "\n"};
}

http_reply error_reply(unsigned status, const std::string& reason) {
    Json::Value body(Json::objectValue);
    body["error"] = reason;
    return json_reply(status, body);
}

void sim_log::line(const std::string& text) {
    if (!m_out)
        return;
    const auto now = libs::core::timestamp::current_time().to_iso_8601_string();
    std::lock_guard<std::mutex> lock(m_mutex);
    *m_out << now << " sim: " << text << std::endl;
}

}  // namespace zentu::platform_sim
