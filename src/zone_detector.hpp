#pragma once

#include <cstdint>
#include <memory>

#include "alarms_controller.hpp"
#include "alarms_generator.hpp"
#include "config.hpp"
#include "context/context.hpp"
#include "context_debug.hpp"
#include "context_updater.hpp"
#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "core/message_stream.hpp"
#include "redis/redis_context.hpp"

namespace zentu {

// Re-send periods of set alarms, in seconds, as the platform's alarm types say.
struct histeresis {
    std::uint32_t zone_violation_histeresis = 0;
    std::uint32_t buffer_violation_histeresis = 0;
};

// Reads the periods from the platform's "/api/private/alarm_types/", retrying
// every second until an answer comes or a stop signal was received.
histeresis get_histeresis(libs::core::http::client& client, const libs::core::logger& logger,
                          const libs::core::events_loop::signals_handle& signals);

// The whole running service. The constructor builds every component in order
// and returns only when the context is loaded and the alarm generators are in
// place; it blocks while Redis or the platform are unreachable, until they
// answer or a stop signal arrives ("Interrupted"). Members are destroyed in
// reverse order.
//
// Threading: built and destroyed on the events-loop thread (before the loop
// runs at start, inside a timer callback at a rebuild).
class zone_detector {
public:
    zone_detector(const config& config, libs::core::logger& logger,
                  libs::core::events_loop& events_loop);
    ~zone_detector();

    zone_detector(const zone_detector&) = delete;
    zone_detector& operator=(const zone_detector&) = delete;

    const context::context& get_context() const { return *m_context; }

    // Rewrites the Redis mirror from this service's context, e.g. after a
    // failed rebuild has already rewritten it from another one.
    void rewrite_mirror() { m_context_debug->rewrite(); }

private:
    libs::core::logger& m_logger;
    libs::core::events_loop::signals_handle::ptr m_signals;
    libs::core::message_stream::ptr m_message_stream;
    libs::core::http::client::ptr m_http_client;
    redis::context::ptr m_redis_context;
    std::unique_ptr<context::context> m_context;
    std::unique_ptr<context_updater> m_context_updater;
    std::unique_ptr<alarms_generator> m_generator;
    std::unique_ptr<alarms_controller> m_alarms_controller;
    std::unique_ptr<context_debug> m_context_debug;
};

}  // namespace zentu
