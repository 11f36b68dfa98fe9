#include "delivery/alarm_reporting.hpp"

#include "ops/metrics.hpp"

namespace zentu {

std::string alarms_controller::cause::to_string() const {
    std::string text(what);
    if (subject)
        text.append(" ").append(*subject);
    if (detail)
        text.append(" (").append(*detail).append(")");
    return text;
}

alarm_reporting::alarm_reporting(const libs::core::component_logger& logger,
                                 ops::service_metrics& metrics, std::string url)
    : m_logger(logger), m_metrics(metrics), m_url(std::move(url)) {}

void alarm_reporting::decided(const context::alarm& alarm, bool set,
                              const alarms_controller::cause& cause) {
    const bool keep_in = alarm.get_alarm_type() == context::alarm_type::ki;
    m_logger.info("Alarm %1%: object %2%, zone %3%, %4%, cause: %5%") % (set ? "set" : "cleared") %
        alarm.get_trobject_uid() % alarm.get_zone_uid() % (keep_in ? "keep-in" : "keep-out") %
        cause.to_string();
    m_metrics.alarm_decided(keep_in ? ops::alarm_kind::keep_in : ops::alarm_kind::keep_out,
                            set ? ops::alarm_decision::set : ops::alarm_decision::clear);
}

void alarm_reporting::sending(attempt kind) {
    m_metrics.request_started();
    if (kind == attempt::retry)
        m_metrics.request_retried();
    else if (kind == attempt::resend)
        m_metrics.resend();
}

bool alarm_reporting::answered(const std::string& uid, std::string_view state,
                               const libs::core::http::result& result, unsigned attempt,
                               outcome how, std::chrono::nanoseconds latency, time_point now) {
    static constexpr ops::request_outcome counted[] = {
        ops::request_outcome::accepted, ops::request_outcome::not_found,
        ops::request_outcome::read_only, ops::request_outcome::rejected,
        ops::request_outcome::failed};
    m_metrics.request_finished(counted[static_cast<std::size_t>(how)], latency);
    const std::string status = result.status_code()
                                   ? "status " + std::to_string(*result.status_code())
                                   : "transport error: " + result.error().value_or("unknown");
    switch (how) {
        case outcome::accepted:
            m_failures.erase(uid);
            m_logger.info("Alarm %1% (%2%) delivered: %3%") % uid % state % status;
            return true;
        case outcome::not_found:
            m_failures.erase(uid);
            m_logger.warning(
                "Alarm %1% (%2%) taken as delivered: status 404, the platform does not know "
                "it") %
                uid % state;
            return true;
        case outcome::read_only:
            m_logger.info("Alarm %1% (%2%) not sent (read-only)") % uid % state;
            return true;
        case outcome::rejected:
        case outcome::failed:
            break;
    }
    auto& seen = m_failures[uid];
    const bool again = !seen.what.empty() && seen.what == status;
    if (again && now - seen.last_line < failure_log_period) {
        ++seen.held_back;
        return false;
    }
    m_logger.info("Alarm %1% (%2%) not delivered, attempt %3%, %4%, POST %5%%6%") % uid % state %
        attempt % status % m_url %
        (seen.held_back > 0
             ? ", " + std::to_string(seen.held_back) + " failures held back since the last line"
             : std::string());
    seen.last_line = now;
    seen.what = status;
    seen.held_back = 0;
    return true;
}

void alarm_reporting::without_mac(const std::string& obj_uid, const std::string& zone_uid,
                                  context::alarm_type type, const alarms_controller::cause& cause) {
    m_logger.info("Alarm not raised: object %1% has no MAC address, zone %2%, %3%, cause: %4%") %
        obj_uid % zone_uid % (type == context::alarm_type::ki ? "keep-in" : "keep-out") %
        cause.to_string();
    m_metrics.alarm_without_mac();
}

void alarm_reporting::undelivered(std::size_t count, std::optional<time_point> since,
                                  const std::string& oldest_uid) {
    m_metrics.undelivered(count, since, oldest_uid);
}

void alarm_reporting::abandoned(const std::string& uid) {
    m_failures.erase(uid);
    m_metrics.request_abandoned();
}

void alarm_reporting::open_alarms(std::size_t count) {
    m_metrics.open_alarms(static_cast<std::int64_t>(count));
}

}  // namespace zentu
