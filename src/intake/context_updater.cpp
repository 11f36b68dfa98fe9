#include "intake/context_updater.hpp"

#include "context/protocol.hpp"

#include "context_utils/context_initializer.hpp"
#include "context_utils/object_info.hpp"

namespace zentu {

using infos = libs::context_utils::object_infos;

context_updater::context_updater(context::writable_context& context,
                                 libs::core::http::client& http_client,
                                 libs::core::message_stream& message_stream,
                                 libs::core::events_loop& events_loop, libs::core::logger& logger,
                                 ops::service_metrics& metrics)
    : m_intake(context, http_client, events_loop, logger, metrics),
      m_logger(logger),
      m_stream_failures(events_loop.get_timers()) {
    m_notify_subscription =
        message_stream.subscribe(protocol::notify_topic, [this](std::string_view body) {
            handle_from_stream(&context_updater::handle_notify, protocol::notify_topic, body);
        });
    m_zone_event_subscription =
        message_stream.subscribe(protocol::zone_event_topic, [this](std::string_view body) {
            handle_from_stream(&context_updater::handle_zone_event, protocol::zone_event_topic,
                               body);
        });

    // Blocking, retried until the platform answers or the loop is stopped.
    const auto lists_logger = logger.component("context_utils");
    libs::context_utils::context_initializer lists(http_client, events_loop, *lists_logger);
    m_intake.load_trackable_objects(
        lists.perform_get_request(infos::trackable_object.m_rest_endpoint));
    m_intake.load_zones(lists.perform_get_request(infos::zone.m_rest_endpoint));
    m_intake.load_alarms(lists.perform_get_request(infos::alarm.m_rest_endpoint));
}

void context_updater::handle_notify(std::string_view body) {
    keep(true, body);
    m_intake.handle_notify(body);
}

void context_updater::handle_zone_event(std::string_view body) {
    const auto trace = m_logger.enter_function(ZENTU_SOURCE_LOCATION());
    keep(false, body);
    m_intake.handle_zone_event(body);
}

void context_updater::handle_from_stream(void (context_updater::*handle)(std::string_view),
                                         std::string_view topic, std::string_view body) {
    try {
        (this->*handle)(body);
    } catch (...) {
        // Malformed messages are counted by the intake; the log gets the
        // first of a run and then one a minute, so that a flood of them
        // cannot push the alarm lines out of the journal.
        const auto verdict = m_stream_failures.admit(topic);
        if (verdict.write)
            m_logger.error("Message on %1% not handled: %2%%3%") % topic %
                libs::core::exception_to_string() % verdict.note();
    }
}

void context_updater::keep(bool notify, std::string_view body) {
    if (!m_journaling || m_journal_overflowed)
        return;
    if (m_journal.size() >= max_journal_entries) {
        m_journal_overflowed = true;
        m_journal = {};
        return;
    }
    m_journal.push_back({notify, std::string(body)});
}

void context_updater::start_journal() {
    m_journaling = true;
    m_journal_overflowed = false;
    m_journal.clear();
}

std::vector<context_updater::journal_entry> context_updater::take_journal(bool& overflowed) {
    overflowed = m_journal_overflowed;
    m_journaling = false;
    m_journal_overflowed = false;
    return std::exchange(m_journal, {});
}

}  // namespace zentu
