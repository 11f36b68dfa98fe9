#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "context/context.hpp"
#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "core/message_stream.hpp"
#include "delivery/alarms_controller_impl.hpp"
#include "generators/alarms_generator.hpp"
#include "intake/background_worker.hpp"
#include "intake/context_rebuild.hpp"
#include "intake/context_updater.hpp"
#include "intake/histeresis.hpp"
#include "intake/resync_schedule.hpp"
#include "mirror/context_debug.hpp"
#include "ops/metrics.hpp"
#include "ops/systemd_notifier.hpp"
#include "service/config.hpp"

namespace zentu {

// The whole running service. The constructor builds every component in order
// and returns only when the context is loaded and the alarm generators are in
// place; it blocks while the platform is unreachable, until it answers or a
// stop signal arrives ("Interrupted"), and waits for Redis at most
// redis.startup_wait: the mirror is optional, so it then starts with the
// mirror suspended. Members are destroyed in reverse order.
//
// A rebuild reloads the context from the platform without stopping the
// service: the lists are fetched and the new context is built away from the
// loop while the running one goes on handling messages, retries and re-sends;
// the new context then catches up with the messages that arrived meanwhile
// and takes the running one's place, and the alarms are settled against it.
// The alarms themselves, their re-send times, the message stream, the HTTP
// client and the Redis mirror stay: nothing is lost or repeated. A rebuild
// whose lists cannot be had is abandoned (logged); the service goes on as it was.
//
// A rebuild is also how the service resynchronises when something may have
// been missed: when the message stream comes back after a gap (whatever it
// carried meanwhile is lost), and when objects are of unknown position
// (created, or moved to another project, since the zones' occupancy lists
// were read). See resync_schedule for when, and how often it tries.
//
// Threading: built, used and destroyed on the events-loop thread (the first
// build before the loop runs).
class zone_detector {
public:
    // metrics and the notifier (which may be null) hear how the service does.
    zone_detector(const config& config, libs::core::logger& logger,
                  libs::core::events_loop& events_loop,
                  ops::service_metrics& metrics = ops::unread_metrics(),
                  ops::systemd_notifier* notifier = nullptr);
    ~zone_detector();

    zone_detector(const zone_detector&) = delete;
    zone_detector& operator=(const zone_detector&) = delete;

    const context::context& get_context() const { return *m_context; }

    // Starts a rebuild, unless one is under way already (the periodic one:
    // the next period brings another).
    void start_rebuild();
    // Starts a rebuild now, or right after the one under way (the operator's).
    void request_rebuild();
    bool is_rebuilding() const noexcept { return m_rebuild != nullptr; }
    // Rebuilds that took the running context's place, and those abandoned.
    std::uint64_t rebuilds_done() const noexcept { return m_rebuilds_done; }
    std::uint64_t rebuilds_failed() const noexcept { return m_rebuilds_failed; }
    // "running: ..." with the counts of objects, zones and open alarms.
    std::string status_line() const;

    // ---- for operators (read on the loop) ----
    const alarms_controller_impl& get_alarms_controller() const { return *m_alarms_controller; }
    libs::core::message_stream::health stream_health() const {
        return m_message_stream->get_health();
    }
    bool mirror_connected() const { return m_context_debug->is_connected(); }
    const libs::core::timers_manager& timers() const { return m_events_loop.get_timers(); }
    // The end of the last rebuild, whether it took the running context's place.
    struct rebuild_report {
        libs::core::timestamp at;
        bool ok = false;
        std::string failure;
    };
    const std::optional<rebuild_report>& last_rebuild() const noexcept { return m_last_rebuild; }
    // When the platform's lists were last loaded whole (start or rebuild).
    libs::core::timestamp last_successful_load() const noexcept { return m_last_load; }

    // Objects of unknown position are asked for this long after the first
    // one, so that several creations share one resynchronisation.
    static constexpr std::chrono::seconds unknown_positions_batch{2};
    // How long the start waits for the message stream before it reads the
    // lists: connected first, it misses nothing the lists do not say.
    static constexpr std::chrono::seconds first_connection_wait{2};

private:
    // False when one is under way. cause names it in the alarm log lines.
    bool begin_rebuild(const std::string& why, const char* cause = "rebuild");
    void on_stream_reconnected(std::chrono::nanoseconds down_for);
    void ask_for_unknown_positions();
    void watch_stream();
    void finish_rebuild(std::unique_ptr<rebuilt_context> built, const std::string& failure);
    void rebuild_ended(bool ok, const std::string& failure);
    void install(rebuilt_context& built, const change_recorder& changed);
    void tell(const std::string& status);

    libs::core::logger& m_logger;
    libs::core::events_loop& m_events_loop;
    ops::service_metrics& m_metrics;
    ops::systemd_notifier* m_notifier;
    const std::string m_server_url;
    libs::core::events_loop::signals_handle::ptr m_signals;
    libs::core::message_stream::ptr m_message_stream;
    libs::core::http::client::ptr m_http_client;
    std::unique_ptr<context::writable_context> m_context;
    std::unique_ptr<context_updater> m_context_updater;
    std::unique_ptr<context_debug> m_context_debug;
    std::unique_ptr<alarms_controller_impl> m_alarms_controller;
    std::unique_ptr<alarms_generator> m_generator;
    // Goes before the members its tasks refer to (the HTTP client, the loop).
    background_worker m_worker;
    std::unique_ptr<context_rebuild> m_rebuild;
    libs::core::timer::time_point m_rebuild_started{};
    const char* m_rebuild_cause = "rebuild";
    // Tells the metrics the message stream's health (connected, counts, last frame).
    libs::core::periodic_timer::ptr m_stream_watch;
    // The lists were read before the stream's first connection: what it
    // carried meanwhile is lost, so its first connection resynchronises.
    bool m_resync_at_first_connection = false;
    std::optional<rebuild_report> m_last_rebuild;
    libs::core::timestamp m_last_load;
    std::uint64_t m_rebuilds_done = 0;
    std::uint64_t m_rebuilds_failed = 0;
    // The operator asked for a rebuild while one was under way.
    bool m_rebuild_again = false;
    // Before the timer that asks it, after what its start reaches.
    resync_schedule m_resync;
    // Looks for objects of unknown position every second.
    libs::core::periodic_timer::ptr m_positions_watch;
};

}  // namespace zentu
