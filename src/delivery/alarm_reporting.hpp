#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "context/alarm.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "core/timer.hpp"
#include "delivery/alarms_controller.hpp"

namespace zentu {

namespace ops {
class service_metrics;
}

// The alarms controller's account of what it does, for operators: one info
// line per alarm decision (object, zone, set or clear, and why) and per
// delivery (accepted with its status; a 404 to a set as a warning; not sent
// in read-only mode; failed with the status or transport error, the attempt
// and the URL), and the matching metrics. The same failure
// of one alarm, repeating every second, is not logged every second: the first
// is, then at most one line a minute with how many were held back; another
// failure is logged at once.
//
// Threading: events-loop thread only.
class alarm_reporting {
public:
    using time_point = libs::core::timer::time_point;
    static constexpr std::chrono::seconds failure_log_period{60};

    alarm_reporting(const libs::core::component_logger& logger, ops::service_metrics& metrics,
                    std::string url);

    void decided(const context::alarm& alarm, bool set, const alarms_controller::cause& cause);
    // A request goes out: a first one, a retry after a failure, or a re-send.
    enum class attempt { first, retry, resend };
    void sending(attempt kind);
    // How an answer counts: delivered (accepted, a 404 to a set, or not sent
    // at all in read-only mode) or not (rejected with a status, failed without one).
    enum class outcome { accepted, not_found, read_only, rejected, failed };
    // Its answer; attempt counts the requests of this state so far. True when
    // a line was written (a failure held back is not).
    bool answered(const std::string& uid, std::string_view state,
                  const libs::core::http::result& result, unsigned attempt, outcome how,
                  std::chrono::nanoseconds latency, time_point now);
    // An alarm the rules would raise for an object without a MAC address.
    void without_mac(const std::string& obj_uid, const std::string& zone_uid,
                     context::alarm_type type, const alarms_controller::cause& cause);
    // The alarms not confirmed yet and the oldest of them.
    void undelivered(std::size_t count, std::optional<time_point> since,
                     const std::string& oldest_uid);
    // A request in flight that is no longer waited for.
    void abandoned(const std::string& uid);
    void open_alarms(std::size_t count);

private:
    struct failures {
        time_point last_line;
        std::string what;
        unsigned held_back = 0;
    };

    const libs::core::component_logger& m_logger;
    ops::service_metrics& m_metrics;
    const std::string m_url;
    std::map<std::string, failures, std::less<>> m_failures;
};

}  // namespace zentu
