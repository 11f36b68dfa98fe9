#include "zone_detector.hpp"

#include <json/value.h>

#include <chrono>
#include <optional>
#include <thread>

#include "alarms_controller_impl.hpp"
#include "core/json.hpp"

namespace zentu {
namespace {

namespace core = libs::core;
using namespace std::chrono_literals;

constexpr unsigned redis_database = 10;
// At most this many alarm requests are in flight at once; the rest wait in order.
constexpr int http_max_transfers = 100;

// Sleeps for the period unless a stop signal arrives first; a signal that
// interrupts the system call does not shorten the wait.
void pause(const core::events_loop::signals_handle& signals, std::chrono::milliseconds period) {
    const auto deadline = std::chrono::steady_clock::now() + period;
    while (!signals.signal_is_received() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            50ms, deadline - std::chrono::steady_clock::now()));
}

void throw_if_interrupted(const core::events_loop::signals_handle& signals) {
    if (signals.signal_is_received())
        ZENTU_THROW("Interrupted");
}

redis::context::ptr connect_redis(const config& config) {
    return std::make_unique<redis::context>(config.redis_host, config.redis_port, redis_database,
                                            config.redis_password);
}

}  // namespace

histeresis get_histeresis(core::http::client& client, const core::logger& logger,
                          const core::events_loop::signals_handle& signals) {
    std::string body;
    for (;;) {
        auto result = client.perform_request(core::http::method::get, "/api/private/alarm_types/");
        const bool ok = result.ok();
        if (ok) {
            body = std::move(result).data().value_or(std::string());
        } else {
            logger.log_exception(
                core::exception(result.error().value_or(std::string()), ZENTU_SOURCE_LOCATION()));
            pause(signals, 1s);
        }
        throw_if_interrupted(signals);
        if (ok)
            break;
    }

    const auto parsed = core::json::try_parse(body);
    if (!parsed.ok)
        ZENTU_THROW("Unable to parse histeresis: " + parsed.error);

    std::optional<std::uint32_t> zone_violation, buffer_violation;
    try {
        for (const auto& type : parsed.result) {
            const auto& name = type["name"];
            if (!name.isString())
                continue;
            if (name.asString() == "buffer_violation")
                buffer_violation = type["histeresis"].asUInt();
            else if (name.asString() == "zone_violation")
                zone_violation = type["histeresis"].asUInt();
        }
    } catch (const Json::Exception& e) {
        // An alarm type that is not an object, or a period that is not an
        // unsigned number.
        ZENTU_THROW(std::string("Unable to read histeresis: ") + e.what());
    }
    if (!zone_violation)
        ZENTU_THROW("zone violation histeresis is not found");
    if (!buffer_violation)
        ZENTU_THROW("buffer violation histeresis is not found");
    return {*zone_violation, *buffer_violation};
}

zone_detector::zone_detector(const config& config, core::logger& logger,
                             core::events_loop& events_loop)
    : m_logger(logger) {
    m_signals = events_loop.stop_on_signals();
    m_message_stream = events_loop.create_zmq_message_stream(config.proxy_output);

    std::vector<core::http::method> disabled_methods;
    if (!config.modify_server_state)
        disabled_methods.push_back(core::http::method::post);
    m_http_client = events_loop.create_http_client(config.server_url,
                                                   std::chrono::seconds(config.server_timeout),
                                                   disabled_methods, http_max_transfers);

    for (;;) {
        try {
            m_redis_context = connect_redis(config);
        } catch (...) {
            m_logger.log_exception();
            pause(*m_signals, 1s);
        }
        throw_if_interrupted(*m_signals);
        if (m_redis_context)
            break;
    }

    auto context = std::make_unique<context::writable_context>();
    auto& writable = *context;
    m_context = std::move(context);
    m_context_updater = std::make_unique<context_updater>(
        writable, *m_http_client, *m_message_stream, events_loop, m_logger, *m_signals);
    m_context_debug =
        std::make_unique<context_debug>(*m_context, std::move(m_redis_context), m_logger,
                                        [&config] { return connect_redis(config); });

    const auto periods = get_histeresis(*m_http_client, m_logger, *m_signals);
    m_alarms_controller = std::make_unique<alarms_controller_impl>(
        *m_context, *m_http_client, m_logger, events_loop.get_timers(),
        static_cast<int>(periods.zone_violation_histeresis),
        static_cast<int>(periods.buffer_violation_histeresis));
    m_generator = std::make_unique<alarms_generator>(*m_context, *m_alarms_controller, m_logger);
}

zone_detector::~zone_detector() = default;

}  // namespace zentu
