#include "service/zone_detector.hpp"

#include <json/value.h>

#include <chrono>
#include <iomanip>
#include <optional>
#include <sstream>

#include <malloc.h>

#include "core/exception.hpp"
#include "redis/connect.hpp"

namespace zentu {
namespace {

namespace core = libs::core;
using namespace std::chrono_literals;

constexpr unsigned redis_database = 10;
// At most this many alarm requests are in flight at once; the rest wait in order.
constexpr int http_max_transfers = 100;

redis::endpoint redis_endpoint(const config& config) {
    return {config.redis_host, config.redis_port, redis_database, config.redis_password};
}

}  // namespace

zone_detector::zone_detector(const config& config, core::logger& logger,
                             core::events_loop& events_loop, ops::service_metrics& metrics,
                             ops::systemd_notifier* notifier)
    : m_logger(logger),
      m_events_loop(events_loop),
      m_metrics(metrics),
      m_notifier(notifier),
      m_server_url(config.server_url),
      m_resync(
          events_loop.get_timers(), logger,
          [this](const std::string& why) {
              begin_rebuild("resynchronisation: " + why, "resynchronisation");
          },
          metrics) {
    m_signals = events_loop.stop_on_signals();
    m_message_stream = events_loop.create_zmq_message_stream(config.proxy_output);

    core::http::client_settings http_settings;
    http_settings.address = config.server_url;
    http_settings.timeout = std::chrono::seconds(config.server_timeout);
    if (!config.modify_server_state)
        http_settings.disabled_methods.push_back(core::http::method::post);
    http_settings.max_transfers = http_max_transfers;
    http_settings.ca_file = config.server_ca_file;
    m_http_client = events_loop.create_http_client(http_settings);

    // The mirror is optional: after a bounded wait the service goes on without
    // it, and the mirror writer connects on its own once Redis answers.
    const redis::endpoint redis_at = redis_endpoint(config);
    redis::context::ptr redis_context = redis::wait_at_start(
        redis_at, config.redis_startup_wait, events_loop.get_timers(),
        [this] { return m_signals->signal_is_received(); }, m_logger,
        [this](const std::string& status) { tell(status); });

    tell("waiting for the message stream at " + config.proxy_output);
    m_resync_at_first_connection = !m_message_stream->wait_connected(first_connection_wait);
    if (m_resync_at_first_connection)
        m_logger.warning(
            "message stream to %1% not connected after %2% s: loading the platform anyway, "
            "resynchronising once it connects") %
            config.proxy_output % first_connection_wait.count();

    tell("loading zones, trackable objects and alarms from " + m_server_url);
    m_context = std::make_unique<context::writable_context>();
    m_context_updater = std::make_unique<context_updater>(
        *m_context, *m_http_client, *m_message_stream, events_loop, m_logger, m_metrics);
    m_context_debug = std::make_unique<context_debug>(
        *m_context, std::move(redis_context), m_logger,
        [redis_at] { return redis::connect(redis_at); }, m_metrics);

    tell("reading alarm types from " + m_server_url);
    const auto periods =
        get_histeresis(*m_http_client, m_logger, *m_signals, events_loop.get_timers());
    m_alarms_controller = std::make_unique<alarms_controller_impl>(
        *m_context, *m_http_client, m_logger, events_loop.get_timers(),
        static_cast<int>(periods.zone_violation_histeresis),
        static_cast<int>(periods.buffer_violation_histeresis), m_metrics, m_server_url);
    m_generator = std::make_unique<alarms_generator>(*m_context, *m_alarms_controller,
                                                     events_loop.get_timers());

    // Not told before the loop ran: the stream learns of its connection there.
    m_stream_watch = events_loop.create_periodic_timer(
        1s, "stream watch", [this](core::timer::time_point) { watch_stream(); },
        ZENTU_SOURCE_LOCATION());

    m_message_stream->on_reconnected(
        [this](std::chrono::nanoseconds down_for) { on_stream_reconnected(down_for); });
    m_positions_watch = events_loop.create_periodic_timer(
        1s, "positions watch", [this](core::timer::time_point) { ask_for_unknown_positions(); },
        ZENTU_SOURCE_LOCATION());
    m_last_load = events_loop.get_timers().current_timestamp();
}

void zone_detector::on_stream_reconnected(std::chrono::nanoseconds down_for) {
    const auto seconds = std::chrono::duration<double>(down_for).count();
    std::ostringstream why;
    why << "stream reconnected after " << std::fixed << std::setprecision(1) << seconds << " s";
    m_logger.warning("%1%: resynchronising") % why.str();
    m_resync.ask(resync_schedule::cause::gap, why.str());
}

void zone_detector::watch_stream() {
    const auto health = m_message_stream->get_health();
    m_metrics.stream_health(health.connected, health.disconnects, health.messages,
                            health.last_message);
    if (!m_resync_at_first_connection || !health.connected)
        return;
    m_resync_at_first_connection = false;
    const std::string why = "stream connected only after the start's load";
    m_logger.warning("%1%: resynchronising") % why;
    m_resync.ask(resync_schedule::cause::gap, why);
}

void zone_detector::ask_for_unknown_positions() {
    const auto unknown = m_context->take_keep_in_index().take_unknown();
    if (unknown.empty())
        return;
    m_logger.info("%1% trackable objects of unknown position (%2%%3%): resynchronising") %
        unknown.size() % unknown.front() % (unknown.size() > 1 ? ", ..." : "");
    m_resync.ask(resync_schedule::cause::unknown_positions,
                 std::to_string(unknown.size()) + " trackable objects of unknown position",
                 unknown_positions_batch);
}

void zone_detector::tell(const std::string& status) {
    if (m_notifier)
        m_notifier->status(status);
}

std::string zone_detector::status_line() const {
    return "running: " + std::to_string(m_context->get_trackable_objects().size()) +
           " trackable objects, " + std::to_string(m_context->get_zones().size()) + " zones, " +
           std::to_string(m_context->get_alarms().size()) + " open alarms";
}

zone_detector::~zone_detector() {
    m_message_stream->on_reconnected({});
}

void zone_detector::start_rebuild() {
    if (!begin_rebuild("periodic"))
        m_logger.info("Rebuild: the previous one is still under way");
}

void zone_detector::request_rebuild() {
    if (begin_rebuild("asked for"))
        return;
    m_logger.info("Rebuild: one more starts when the one under way ends");
    m_rebuild_again = true;
}

bool zone_detector::begin_rebuild(const std::string& why, const char* cause) {
    if (m_rebuild)
        return false;
    m_logger.info("Rebuild (%1%): reloading zones, objects and alarms from the platform") % why;
    // It covers whatever was asked for before it.
    m_rebuild_again = false;
    if (m_notifier)
        m_notifier->reloading();
    tell("rebuilding from " + m_server_url);
    m_rebuild_started = m_events_loop.get_timers().current_time_point();
    m_rebuild_cause = cause;
    m_context_updater->start_journal();
    m_rebuild = std::make_unique<context_rebuild>(
        *m_http_client, m_events_loop, m_logger, m_worker,
        [this](std::unique_ptr<rebuilt_context> built, const std::string& failure) {
            finish_rebuild(std::move(built), failure);
        });
    m_resync.rebuild_started();
    return true;
}

void zone_detector::rebuild_ended(bool ok, const std::string& failure) {
    // Either may start the next one; the other then finds it under way.
    m_resync.rebuild_finished(ok, failure);
    if (m_rebuild_again)
        begin_rebuild("asked for during the previous one");
}

void zone_detector::finish_rebuild(std::unique_ptr<rebuilt_context> built,
                                   const std::string& failure) {
    // Ends with this call; the rebuild calls it last thing.
    const auto rebuild = std::move(m_rebuild);
    bool overflowed = false;
    auto journal = m_context_updater->take_journal(overflowed);
    std::string reason = failure;
    if (built && overflowed)
        reason = "more than " + std::to_string(context_updater::max_journal_entries) +
                 " messages arrived while it was built";
    const auto took = m_events_loop.get_timers().current_time_point() - m_rebuild_started;
    const auto report = [&](bool ok) {
        const auto now = m_events_loop.get_timers().current_timestamp();
        m_last_rebuild = rebuild_report{now, ok, ok ? std::string() : reason};
        if (ok)
            m_last_load = now;
        m_metrics.rebuild_finished(
            ok, took,
            std::chrono::system_clock::time_point(
                m_events_loop.get_timers().current_timestamp().get_time_since_epoch()),
            reason);
        if (m_notifier)
            m_notifier->ready();
        tell(status_line());
    };
    if (!built || overflowed) {
        ++m_rebuilds_failed;
        m_logger.error("Rebuild abandoned, the service goes on as it was: %1%") % reason;
        report(false);
        if (built)
            m_worker.post([old = std::shared_ptr<rebuilt_context>(std::move(built))]() mutable {
                old.reset();
            });
        rebuild_ended(false, reason);
        return;
    }
    {
        // Scoped: the recorder watches the built context, which goes to the
        // worker below; it must stop watching on this thread first.
        change_recorder changed(*built->context);
        catch_up(*built, *m_context, journal);
        install(*built, changed);
    }
    ++m_rebuilds_done;
    m_logger.info("Rebuild: done, %1% zones, %2% trackable objects, %3% alarms") %
        m_context->get_zones().size() % m_context->get_trackable_objects().size() %
        m_context->get_alarms().size();
    report(true);
    // What the service had before goes on the worker, with its memory.
    m_worker.post([old = std::shared_ptr<rebuilt_context>(std::move(built))]() mutable {
        old.reset();
        malloc_trim(0);
    });
    rebuild_ended(true, {});
}

void zone_detector::install(rebuilt_context& built, const change_recorder& changed) {
    m_context->swap_contents(*built.context);
    // built.context now holds what the service had.
    m_context_debug->resync_zones_and_objects(*built.context, std::move(built.mirror),
                                              changed.zones, changed.objects);
    // Alarms open on the platform that the service does not hold are taken
    // in as set, as at a start; one of another kind is cleared.
    m_alarms_controller->reconcile_with_platform(built.context->get_alarms());
    m_alarms_controller->set_histeresis(
        static_cast<int>(built.periods.zone_violation_histeresis),
        static_cast<int>(built.periods.buffer_violation_histeresis));
    m_generator->settle(m_rebuild_cause);
}

}  // namespace zentu
